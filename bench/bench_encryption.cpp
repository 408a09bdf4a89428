// Data and block encryption beside a straightforward baseline in the same binary: qCompress at level 1 plus
// EVP AES-128-CBC with a random vector, and AES decryption plus qUncompress on the way back. Also the RSA
// envelopes and the pass-phrase key derivation beside plain OpenSSL calls. Inputs are 4 MiB (one block) of
// server-log text (about 9x compressible) or of random bytes.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizpackage.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/encryption/reverizrsa.h"
#include "common/fileutilities.h"
#include "common/jsontext.h"
#include "support/reference.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <memory>
#include <stdexcept>

using Reveriz::OsslPtr;

namespace {

constexpr qsizetype blockSize = 4 << 20;

QByteArray logText(qsizetype size)
{
    static const char* const levels[] = {"INFO ", "INFO ", "DEBUG", "WARN "};
    static const char* const messages[] = {"package %1 stored in /srv/reveriz/packages/%2/%1.pkg (%3 blocks)",
                                           "user %2 logged in from 10.0.%3.12", "block %1/%3 verified",
                                           "heartbeat from server %2: ok", "transfer of package %1 finished in %3 ms"};
    QRandomGenerator random(42);
    QStringList ids;
    for (int i = 0; i < 16; ++i)
        ids << QStringLiteral("%1-4b1e-9c2d-%2")
                   .arg(random.generate(), 8, 16, QLatin1Char('0'))
                   .arg(i, 12, 10, QLatin1Char('0'));
    QByteArray text;
    for (quint64 t = 0; text.size() < size; t += random.bounded(1, 100)) {
        text += QStringLiteral("2026-12-08 %1:%2:%3.%4 [%5] reverizd: ")
                    .arg(t / 3600000 % 24, 2, 10, QLatin1Char('0'))
                    .arg(t / 60000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(t / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(t % 1000, 3, 10, QLatin1Char('0'))
                    .arg(QLatin1String(levels[random.bounded(4)]))
                    .toLatin1();
        text += QString::fromLatin1(messages[random.bounded(5)])
                    .arg(ids[random.bounded(16)], ids[random.bounded(16)], QString::number(random.bounded(500)))
                    .toLatin1()
            + '\n';
    }
    return text.left(size);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

const QByteArray& input(bool text)
{
    static const QByteArray log = logText(blockSize);
    static const QByteArray noise = randomBytes(blockSize);
    return text ? log : noise;
}

std::shared_ptr<ReverizKey> aesKey()
{
    static const auto key = ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false);
    return key;
}

// The straightforward way, with every buffer made anew: the stored data written and read with EVP directly.
QByteArray baselineEncrypt(const QByteArray& plain, const QByteArray& key)
{
    QByteArray ivec(16, Qt::Uninitialized);
    RAND_bytes(reinterpret_cast<unsigned char*>(ivec.data()), 16);
    return Reference::encrypt(QStringLiteral("aes-128-cbc"), key, ivec, qCompress(plain, 1));
}

QByteArray baselineDecrypt(const QByteArray& stored, const QByteArray& key, bool compressed = true)
{
    const QByteArray out = Reference::decrypt(QStringLiteral("aes-128-cbc"), key, 16, stored).value_or(QByteArray());
    return compressed ? qUncompress(out) : out;
}

void setBytes(benchmark::State& state, qsizetype perIteration)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * perIteration);
}

void BM_EncryptData(benchmark::State& state)
{
    const QByteArray& plain = input(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(aesKey()->encryptData(plain));
    setBytes(state, plain.size());
}

void BM_EncryptData_Baseline(benchmark::State& state)
{
    const QByteArray& plain = input(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(baselineEncrypt(plain, aesKey()->key()));
    setBytes(state, plain.size());
}

void BM_DecryptData(benchmark::State& state)
{
    const QByteArray& plain = input(state.range(0) != 0);
    const QByteArray stored = aesKey()->encryptData(plain);
    for (auto _ : state)
        benchmark::DoNotOptimize(aesKey()->decryptData(stored));
    setBytes(state, plain.size());
}

void BM_DecryptData_Baseline(benchmark::State& state)
{
    const QByteArray& plain = input(state.range(0) != 0);
    const QByteArray stored = baselineEncrypt(plain, aesKey()->key());
    for (auto _ : state)
        benchmark::DoNotOptimize(baselineDecrypt(stored, aesKey()->key()));
    setBytes(state, plain.size());
}

// A source file and a target file of one block each, in a directory of their own.
struct BlockFiles
{
    explicit BlockFiles(bool text)
    {
        if (!dir.isValid())
            throw std::runtime_error("no temporary directory");
        source = dir.filePath(QStringLiteral("source"));
        target = dir.filePath(QStringLiteral("target"));
        FileUtilities::writeByteArray(source, input(text), false);
        FileUtilities::writeByteArray(target, QByteArray(blockSize, '\0'), false);
    }
    QTemporaryDir dir;
    QString source;
    QString target;
};

void BM_EncryptBlock(benchmark::State& state)
{
    const BlockFiles files(state.range(0) != 0);
    for (auto _ : state) {
        ReverizPackageBlock block(0, blockSize);
        bool keepCompressing = true;
        aesKey()->encryptBlock(&block, files.source, true, &keepCompressing);
        benchmark::DoNotOptimize(block);
    }
    setBytes(state, blockSize);
}

void BM_EncryptBlock_Baseline(benchmark::State& state)
{
    const BlockFiles files(state.range(0) != 0);
    for (auto _ : state) {
        QFile file(files.source);
        file.open(QIODevice::ReadOnly);
        const QByteArray source = file.read(blockSize);
        // Compressed only when it pays, as blocks are; then encrypted.
        const QByteArray compressed = qCompress(source, 1);
        const QByteArray& plain = compressed.size() > source.size() ? source : compressed;
        benchmark::DoNotOptimize(baselineEncrypt(plain, aesKey()->key()));
    }
    setBytes(state, blockSize);
}

struct EncryptedBlock
{
    explicit EncryptedBlock(const BlockFiles& files)
        : block(0, blockSize)
    {
        bool keepCompressing = true;
        aesKey()->encryptBlock(&block, files.source, true, &keepCompressing);
    }
    ReverizPackageBlock block;
};

void BM_DecryptBlock(benchmark::State& state)
{
    const BlockFiles files(state.range(0) != 0);
    EncryptedBlock encrypted(files);
    Reveriz::PackageInfo package(2, QStringLiteral("bench"));
    for (auto _ : state)
        aesKey()->decryptBlock(&package, files.target, &encrypted.block);
    setBytes(state, blockSize);
}

void BM_DecryptBlock_Baseline(benchmark::State& state)
{
    const BlockFiles files(state.range(0) != 0);
    const EncryptedBlock encrypted(files);
    const QByteArray stored = encrypted.block.payload();
    const bool compressed = !encrypted.block.uncompressed();
    for (auto _ : state) {
        const QByteArray plain = baselineDecrypt(stored, aesKey()->key(), compressed);
        QFile file(files.target);
        file.open(QIODevice::ReadWrite);
        file.seek(0);
        file.write(plain);
    }
    setBytes(state, blockSize);
}

const ReverizRSA& keyPair()
{
    static const ReverizRSA pair = [] {
        Json::Value json;
        FileUtilities::readJsonValue(QStringLiteral(TEST_KEYS_DIR "/protocol-private.key"), json, false);
        return *ReverizRSA::fromJson(json);
    }();
    return pair;
}

Json::Value plainKey()
{
    return ReverizKey::createLogfileKey(QStringLiteral("aes-128-cbc"), 16, false)->toJson();
}

void BM_EnvelopeEncrypt(benchmark::State& state)
{
    const Json::Value value = plainKey();
    for (auto _ : state)
        benchmark::DoNotOptimize(keyPair().encrypt(value));
}

void BM_EnvelopeDecrypt(benchmark::State& state)
{
    const Json::Value envelope = keyPair().encrypt(plainKey());
    for (auto _ : state)
        benchmark::DoNotOptimize(keyPair().decrypt(envelope));
}

// One OAEP decryption with a key object made from the PEM text each time, as the envelope does.
void BM_EnvelopeDecrypt_Baseline(benchmark::State& state)
{
    const QByteArray ciphertext =
        QByteArray::fromBase64(QByteArray::fromStdString(keyPair().encrypt(plainKey())["data"].asString()));
    for (auto _ : state) {
        OsslPtr<EVP_PKEY> key = keyPair().makeRSA(true);
        OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
        EVP_PKEY_decrypt_init(context.get());
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING);
        unsigned char out[512];
        size_t length = sizeof out;
        EVP_PKEY_decrypt(context.get(), out, &length, reinterpret_cast<const unsigned char*>(ciphertext.constData()),
                         static_cast<size_t>(ciphertext.size()));
        benchmark::DoNotOptimize(out);
    }
}

void BM_PassPhraseKey(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReverizKey::createPassPhraseBasedKey(QStringLiteral("correct horse"),
                                                                      QStringLiteral("aes-128-cbc"), 16, false));
}

void BM_PassPhraseKey_Baseline(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QCryptographicHash::hash("correct horse", QCryptographicHash::Sha1));
}

} // namespace

BENCHMARK(BM_EncryptData)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptData_Baseline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptData)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptData_Baseline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptBlock)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptBlock_Baseline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptBlock)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptBlock_Baseline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopeEncrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnvelopeDecrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnvelopeDecrypt_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PassPhraseKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PassPhraseKey_Baseline)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    Reveriz::Crypto::initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
