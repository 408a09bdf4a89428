#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZACTOR_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZACTOR_H

/**
 * @file
 * ReverizActor, the owner of a key pair.
 */

#include "common/reverizexport.h"

#include <QString>

#include <json/value.h>

/**
 * The owner of a key pair: a user of a server, a server, the owner of a server or the protocol service of a
 * server. A value; its JSON form is {"serverUUID", "type", "userUUID" for users only}.
 */
class REVERIZ_EXPORT ReverizActor
{
public:
    /** Stored as these numbers; the JSON names are "user", "server", "owner" and "protocol". */
    enum ActorType { User = 0, Server = 1, Owner = 2, Protocol = 3 };

    /** A user with the two UUIDs as given; nothing is validated. */
    ReverizActor(const QString& serverUUID, const QString& userUUID);
    /** An actor of the given type; a user gets a fresh user UUID, the other types none. Nothing is validated. */
    ReverizActor(QString serverUUID, ActorType type);

    /** Same server UUID and type and, for users only, the same user UUID. */
    bool operator==(const ReverizActor& other) const;
    /** Not operator==. */
    bool operator!=(const ReverizActor& other) const { return !(*this == other); }

    /** The UUID of the actor's server. */
    const QString& serverUUID() const { return m_serverUUID; }
    /** The user UUID; throws RequestedUserUUIDOfNonUserActorException unless the actor is a user. */
    const QString& userUUID() const;
    /** What kind of actor this is. */
    ActorType type() const { return m_type; }

    /** The JSON name of type: "user", "server", "owner" or "protocol" (empty for a number that is no type). */
    static const char* typeName(ActorType type);

    /** The JSON form; the UUIDs are written as they are. */
    Json::Value toJson() const;
    /**
     * Reads actor JSON. Checks, in this order, and throws on the first failure (context "ReverizActor"):
     * "type" and "serverUUID" present (JsonMemberMissingException), "type" one of the four names
     * (JsonMemberInvalidException, "invalid content"), the server UUID and, for users only, the user UUID in
     * UuidTools::validateUuid form (InvalidUUIDException). A value that is not an object has no members.
     */
    static ReverizActor fromJson(const Json::Value& json);

private:
    QString m_serverUUID;
    QString m_userUUID;
    ActorType m_type;
};

#endif
