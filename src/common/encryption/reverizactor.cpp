#include "reverizactor.h"

#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/untrustedjson.h"
#include "common/exceptions/reverizexception.h"
#include "common/qkarnjsontrait.h"
#include "common/uuidtools.h"

#include <optional>
#include <utility>

using namespace Reveriz::Internal;

namespace {

std::optional<ReverizActor::ActorType> typeFromName(const QString& name)
{
    for (const ReverizActor::ActorType type :
         {ReverizActor::Protocol, ReverizActor::User, ReverizActor::Server, ReverizActor::Owner}) {
        if (name == QLatin1String(ReverizActor::typeName(type)))
            return type;
    }
    return std::nullopt;
}

} // namespace

const char* ReverizActor::typeName(ActorType type)
{
    switch (type) {
    case ReverizActor::User:
        return "user";
    case ReverizActor::Server:
        return "server";
    case ReverizActor::Owner:
        return "owner";
    case ReverizActor::Protocol:
        return "protocol";
    }
    return ""; // not an ActorType: written so that reading it back fails
}

ReverizActor::ReverizActor(const QString& serverUUID, const QString& userUUID)
    : m_serverUUID(serverUUID)
    , m_userUUID(userUUID)
    , m_type(User)
{
}

ReverizActor::ReverizActor(QString serverUUID, ActorType type)
    : m_serverUUID(std::move(serverUUID))
    , m_userUUID(type == User ? UuidTools::createUuid() : QString())
    , m_type(type)
{
}

bool ReverizActor::operator==(const ReverizActor& other) const
{
    return m_serverUUID == other.m_serverUUID && m_type == other.m_type
        && (m_type != User || m_userUUID == other.m_userUUID);
}

const QString& ReverizActor::userUUID() const
{
    if (m_type != User)
        throw RequestedUserUUIDOfNonUserActorException(REVERIZ_HERE);
    return m_userUUID;
}

Json::Value ReverizActor::toJson() const
{
    Json::Value json(Json::objectValue);
    QkarnJsonTrait<QString>::toJson(json[Member::serverUUID], m_serverUUID);
    json[Member::type] = typeName(m_type);
    if (m_type == User)
        QkarnJsonTrait<QString>::toJson(json[Member::userUUID], m_userUUID);
    return json;
}

ReverizActor ReverizActor::fromJson(const Json::Value& json)
{
    if (!hasMember(json, Member::type))
        throw JsonMemberMissingException(Context::reverizActor, Member::type, REVERIZ_HERE);
    if (!hasMember(json, Member::serverUUID))
        throw JsonMemberMissingException(Context::reverizActor, Member::serverUUID, REVERIZ_HERE);

    const std::optional<ActorType> type = typeFromName(readText(json, Member::type));
    if (!type) {
        throw JsonMemberInvalidException(Context::reverizActor, Member::type, QStringLiteral("invalid content"),
                                         REVERIZ_HERE);
    }
    const QString serverUUID = readText(json, Member::serverUUID);
    if (!UuidTools::validateUuid(serverUUID))
        throw InvalidUUIDException(REVERIZ_HERE);
    if (*type != User)
        return ReverizActor(serverUUID, *type); // a "userUUID" of another type is ignored

    // A missing user UUID reads as empty text and so fails as invalid, not as missing.
    const QString userUUID = readText(json, Member::userUUID);
    if (!UuidTools::validateUuid(userUUID))
        throw InvalidUUIDException(REVERIZ_HERE);
    return ReverizActor(serverUUID, userUUID);
}
