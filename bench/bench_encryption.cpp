// Data and block encryption beside a straightforward baseline in the same binary: qCompress at level 1 plus
// EVP AES-128-CBC with a random vector, and AES decryption plus qUncompress on the way back. Also the RSA
// envelopes and the pass-phrase key derivation beside plain OpenSSL calls. Inputs are 4 MiB (one block) of
// server-log text (about 9x compressible) or of random bytes. Each case runs in a process of its own, so that
// its figure does not depend on the cases run before it; the output is the console's.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/encryption/reverizpackage.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/encryption/reverizrsa.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"
#include "support/reference.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using Reveriz::OsslPtr;

namespace {

constexpr qsizetype blockSize = 4 << 20;

QByteArray logText(qsizetype size)
{
    static const char* const levels[] = {"INFO ", "INFO ", "DEBUG", "WARN "};
    // Each message names all three arguments: QString::arg fills the lowest-numbered markers first.
    static const char* const messages[] = {
        "package %1 stored in /srv/reveriz/packages/%2/%1.pkg (%3 blocks)",
        "user %2 logged in from 10.0.%3.12, session %1", "block %3 of package %1 verified by %2",
        "heartbeat from server %2: ok (%1, %3 ms)", "transfer of package %1 to %2 finished in %3 ms"};
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
        return *Reveriz::KeyFile::read(QStringLiteral(TEST_KEYS_DIR "/protocol-private.key"), false);
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

// glibc's allocator moves its mmap threshold up to the largest block freed so far, and its trim threshold to twice
// that. Left alone, the cases run before would decide whether a case's 4 MiB buffers are fresh mappings, with a
// page fault for every 4 KiB, or memory the heap already holds, and whether the heap is trimmed after every
// iteration: decryptData of random bytes took 5 times longer after the other cases than alone. Fixed thresholds
// keep every large buffer in the heap and the heap untrimmed, whatever ran before; so the figures leave out
// mapping fresh memory, which the whole-process benchmarks include.
bool fixAllocatorThresholds()
{
    return mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1;
}

// Even with fixed thresholds, a case could give other figures after other cases than alone: decryptBlock of log
// text took four times longer right after encryptBlock of log text, with the library's per-thread buffers made
// before either, and that changed again with unrelated code in the case. So every case runs in a process of its
// own, forked from the same start-up state: what ran before cannot touch it.
class CaseReporter : public benchmark::ConsoleReporter
{
public:
    CaseReporter(std::size_t nameWidth, bool first)
        : ConsoleReporter(::isatty(STDOUT_FILENO) == 1 ? OO_Color : OO_None)
        , m_nameWidth(nameWidth)
        , m_first(first)
    {
    }
    bool ReportContext(const Context& context) override
    {
        if (m_first) {
            Context wide = context;
            wide.name_field_width = m_nameWidth;
            return ConsoleReporter::ReportContext(wide);
        }
        name_field_width_ = m_nameWidth;
        printed_header_ = true;
        return true;
    }

private:
    std::size_t m_nameWidth;
    bool m_first;
};

// The names of the cases that --benchmark_filter selects, as --benchmark_list_tests prints them.
QStringList selectedCases()
{
    QProcess lister;
    lister.start(QStringLiteral("/proc/self/exe"),
                 {QStringLiteral("--benchmark_list_tests=true"),
                  QStringLiteral("--benchmark_filter=") + QString::fromStdString(benchmark::GetBenchmarkFilter())});
    if (!lister.waitForFinished(60000) || lister.exitStatus() != QProcess::NormalExit || lister.exitCode() != 0)
        throw std::runtime_error("cannot list the benchmark cases");
    return QString::fromUtf8(lister.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Returns the number of cases that failed.
int runEachCaseInItsOwnProcess()
{
    const QStringList cases = selectedCases();
    // What the cases share is made once, before the processes fork.
    (void)input(true);
    (void)input(false);
    (void)aesKey();
    (void)keyPair();
    std::size_t width = 10;
    for (const QString& name : cases)
        width = std::max(width, static_cast<std::size_t>(name.size()));
    int failed = 0;
    for (const QString& name : cases) {
        (void)std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            CaseReporter reporter(width, &name == &cases.front());
            const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter, "^" + name.toStdString() + "$");
            (void)std::fflush(nullptr);
            std::_Exit(ran == 1 ? 0 : 1);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            (void)std::fprintf(stderr, "%s failed\n", qPrintable(name));
            ++failed;
        }
    }
    return failed;
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
    if (!fixAllocatorThresholds()) {
        (void)std::fputs("cannot fix the allocator's thresholds\n", stderr);
        return 1;
    }
    const auto given = [&](const char* flag) {
        return std::any_of(argv + 1, argv + argc,
                           [&](const char* argument) { return std::strncmp(argument, flag, std::strlen(flag)) == 0; });
    };
    if (given("--benchmark_format") || given("--benchmark_out")) {
        (void)std::fputs("each case runs in a process of its own, which prints it to the console\n", stderr);
        return 2;
    }
    Reveriz::Crypto::initialize();
    const bool listing = given("--benchmark_list_tests");
    benchmark::Initialize(&argc, argv);
    int failed = 0;
    try {
        failed = listing ? (benchmark::RunSpecifiedBenchmarks(), 0) : runEachCaseInItsOwnProcess();
    } catch (const std::exception& e) {
        (void)std::fprintf(stderr, "%s\n", e.what());
        failed = 1;
    }
    benchmark::Shutdown();
    return failed == 0 ? 0 : 1;
}
