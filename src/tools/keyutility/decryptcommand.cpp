// The decrypt command: one key file, any number of encrypted log files, decrypted in parallel into their own
// output files, one given output file, or standard output in argument order.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/outputpolicy.h"
#include "keyutilitycommands.h"
#include "passphrase.h"
#include "toolerrors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace KeyUtility {

using ToolErrors::fail;

namespace {

// What happened to one log: the lines to print about it, and whether it failed.
struct Outcome
{
    QString message;
    bool failed = false;
    // Memory ran out: the message is made only once the workers are done, as making it needs memory too.
    bool outOfMemory = false;
};

// Standard output shared by the logs of one command: each log's plain text goes out whole and in argument order,
// and a log writes only once all logs before it are done. A log that waits keeps its decrypted data, so no more
// logs than workers are held at once.
class OrderedOutput
{
public:
    // Writes data as part of log index, once it is that log's turn; false once standard output failed.
    bool write(std::size_t index, const char* data, std::size_t size)
    {
        waitForTurn(index);
        std::size_t written = 0;
        while (written < size && !m_failed) {
            const ssize_t result = ::write(STDOUT_FILENO, data + written, size - written);
            if (result < 0 && errno == EINTR)
                continue;
            // Another program may have left the pipe non-blocking: wait until it takes more.
            if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitUntilWritable())
                continue;
            if (result < 0) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_failed = true;
                m_error = errno;
                break;
            }
            written += static_cast<std::size_t>(result);
        }
        return !m_failed;
    }

    // Ends log index's turn, after waiting for it, so that the next log may write.
    void finish(std::size_t index)
    {
        waitForTurn(index);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_next = index + 1;
        }
        m_turn.notify_all();
    }

    bool failed() const { return m_failed; }
    int error() const { return m_error; }

private:
    static bool waitUntilWritable()
    {
        pollfd output {STDOUT_FILENO, POLLOUT, 0};
        int ready = 0;
        do
            ready = ::poll(&output, 1, -1);
        while (ready < 0 && errno == EINTR);
        // POLLERR or POLLHUP: the write that follows reports the failure with its own error.
        return ready > 0;
    }

    void waitForTurn(std::size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_turn.wait(lock, [&] { return m_next == index; });
    }

    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::size_t m_next = 0;
    std::atomic<bool> m_failed {false};
    int m_error = 0;
};

// The key pair of the key file, or why it cannot be used; read once for all logs.
struct KeyPair
{
    std::shared_ptr<ReverizRSA> pair;
    std::optional<QString> failure;
};

class Decryption
{
public:
    Decryption(const DecryptRequest& request, KeyPair key)
        : m_request(request)
        , m_key(std::move(key))
        , m_outcomes(static_cast<std::size_t>(request.inputs.size()))
    {
    }

    // Decrypts every log on up to jobs threads; the outcomes are in argument order.
    const std::vector<Outcome>& run(int jobs)
    {
        const std::size_t count = m_outcomes.size();
        const std::size_t workers = std::min<std::size_t>(count, static_cast<std::size_t>(jobs));
        if (workers <= 1) {
            work(); // on this thread: exhausted memory reaches main as it always has
            return m_outcomes;
        }
        // This thread is one of the workers. One that cannot be started (no memory for its stack, a limit on
        // threads) is done without: the logs are shared among those that run, at least this one.
        std::vector<std::thread> threads;
        try {
            threads.reserve(workers - 1);
            while (threads.size() < workers - 1)
                threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        work();
        for (std::thread& thread : threads)
            thread.join();
        return m_outcomes;
    }

    const OrderedOutput& standardOutput() const { return m_standardOutput; }

private:
    void work()
    {
        // Logs are taken in argument order, so the log whose turn it is on standard output is always being
        // decrypted by some worker and never waits for a later one.
        for (std::size_t index = m_next++; index < m_outcomes.size(); index = m_next++) {
            if (m_outcomes.size() == 1) {
                m_outcomes[index] = decrypt(index);
                continue;
            }
            try {
                m_outcomes[index] = decrypt(index);
            } catch (const std::bad_alloc&) {
                m_outcomes[index].failed = true;
                m_outcomes[index].outOfMemory = true;
            }
            if (toStandardOutput())
                m_standardOutput.finish(index);
        }
    }

    QString input(std::size_t index) const { return m_request.inputs.at(static_cast<qsizetype>(index)); }
    bool toStandardOutput() const { return m_request.output && *m_request.output == QLatin1String("-"); }

    Outcome decryptFailure(std::size_t index, const QString& message) const
    {
        const QString named = m_outcomes.size() > 1 ? input(index) + QLatin1String(": ") : QString();
        return {QStringLiteral("Could not decrypt file: %1%2\n").arg(named, message), true};
    }

    Outcome decrypt(std::size_t index)
    {
        const QString inputPath = input(index);
        const QString outputPath = m_request.output.value_or(inputPath + QLatin1String(".decrypted"));
        if (toStandardOutput() && m_standardOutput.failed())
            return {}; // nobody reads any more
        try {
            Reveriz::EncryptedLogFile::LogFile logFile = Reveriz::EncryptedLogFile::LogFile::open(inputPath);
            // The one log of the original form tells of the key file's own failures after its own, as ever.
            if (m_key.failure)
                return decryptFailure(index, *m_key.failure);
            const std::shared_ptr<ReverizKey> key = logFile.unwrapKey(m_key.pair);
            if (!toStandardOutput()) {
                logFile.decryptToFile(*key, outputPath);
                return {};
            }
            // No byte of a log whose data is not sound may reach standard output: it is checked whole first.
            const auto write = [&](const char* piece, std::size_t size) {
                return m_standardOutput.write(index, piece, size);
            };
            (void)logFile.decryptTo(*key, write, Reveriz::StreamCheck::BeforeWriting);
            return {};
        } catch (const FileWriteFailedException&) {
            return {QStringLiteral("Could not create outputfile: %1\n").arg(outputPath), true};
        } catch (const ReverizException& e) {
            return decryptFailure(index, e.message());
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            // The JSON library's own errors: a member of a type it cannot convert.
            return decryptFailure(index, QString::fromLocal8Bit(e.what()));
        }
    }

    const DecryptRequest& m_request;
    const KeyPair m_key;
    std::vector<Outcome> m_outcomes;
    std::atomic<std::size_t> m_next {0};
    OrderedOutput m_standardOutput;
};

// Why an output of the request is one of its inputs, which writing it would destroy; nothing when none is.
std::optional<QString> outputThatIsAnInput(const DecryptRequest& request)
{
    QStringList inputs = QStringList {request.keyFile} + request.inputs;
    if (request.passPhraseFile)
        inputs << *request.passPhraseFile;
    if (request.output && *request.output == QLatin1String("-")) {
        if (const std::optional<QString> input = Reveriz::OutputPolicy::inputAmong(STDOUT_FILENO, inputs))
            return QStringLiteral("Could not write to standard output: it is the input file %1").arg(*input);
    } else if (request.output) {
        if (const std::optional<QString> input = Reveriz::OutputPolicy::inputAmong(*request.output, inputs))
            return QStringLiteral("Could not create outputfile: %1: it is the input file %2")
                .arg(*request.output, *input);
    } else {
        for (const QString& log : request.inputs) {
            const QString output = log + QLatin1String(".decrypted");
            if (const std::optional<QString> input = Reveriz::OutputPolicy::inputAmong(output, inputs))
                return QStringLiteral("Could not create outputfile: %1: the output of %2 is the input file %3")
                    .arg(output, log, *input);
        }
    }
    return std::nullopt;
}

} // namespace

int decryptLogs(const DecryptRequest& request, QTextStream& err)
{
    // Before anything is read: in a batch, one log's output could replace another log before that is read.
    if (const std::optional<QString> refusal = outputThatIsAnInput(request))
        return fail(err, *refusal);

    // RSA blinding needs random data: without it every log would fail as if it were damaged.
    std::string reason;
    if (!Reveriz::Crypto::randomSourceWorks(&reason))
        return fail(
            err,
            QStringLiteral("Could not decrypt file: the random source failed: %1").arg(QString::fromStdString(reason)));

    // The key file is read first, once. A key pair it does not hold fails the command before any log; only the
    // original form of one log tells of it after the log was read, as it always has.
    KeyPair key;
    try {
        const Reveriz::KeyFile::Document keyFile = Reveriz::KeyFile::Document::read(request.keyFile);
        try {
            key.pair = keyFile.pair();
        } catch (const ReverizException& e) {
            key.failure = e.message();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            key.failure = QString::fromLocal8Bit(e.what());
        }
    } catch (const ReverizException& e) {
        return fail(err, QStringLiteral("Could not decrypt file: %1").arg(e.message()));
    }
    if (key.failure && request.inputs.size() > 1)
        return fail(err, QStringLiteral("Could not decrypt file: %1").arg(*key.failure));

    // A protected key is unlocked once, before any log, with the pass phrase from its file or the terminal.
    // Without either, the logs fail as they always have for a locked key.
    if (key.pair) {
        try {
            unlockKey(*key.pair, request.keyFile, request.passPhraseFile, err);
        } catch (const SuppliedWrongPassPhraseException&) {
            return fail(err, QStringLiteral("Could not decrypt file: wrong pass phrase for %1").arg(request.keyFile));
        } catch (const ReverizException& e) {
            return fail(
                err,
                QStringLiteral("Could not read pass phrase file %1: %2")
                    .arg(request.passPhraseFile.value_or(QString()), e.errorMessage(ReverizException::FormatWithName)));
        }
    }

    Decryption decryption(request, std::move(key));
    const int jobs = request.jobs > 0 ? request.jobs : static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
    int status = 0;
    const std::vector<Outcome>& outcomes = decryption.run(jobs);
    for (std::size_t index = 0; index < outcomes.size(); ++index) {
        const Outcome& outcome = outcomes[index];
        if (outcome.outOfMemory)
            err << "keyutility: " << request.inputs.at(static_cast<qsizetype>(index)) << ": out of memory\n";
        err << outcome.message;
        status = outcome.failed ? 1 : status;
    }
    // A reader that stopped reading (a closed pipe) ends the output quietly; other failures are told.
    const OrderedOutput& standardOutput = decryption.standardOutput();
    if (standardOutput.failed()) {
        status = 1;
        if (standardOutput.error() != EPIPE)
            err << "Could not write to standard output: "
                << QString::fromLocal8Bit(std::strerror(standardOutput.error())) << '\n';
    }
    err.flush();
    return status;
}

int decryptLog(const QString& keyFilePath, const QString& inputPath, QTextStream& err)
{
    // The original form tells of any output it cannot write in one line.
    const QString outputPath = inputPath + QLatin1String(".decrypted");
    if (Reveriz::OutputPolicy::inputAmong(outputPath, {keyFilePath, inputPath}))
        return fail(err, QStringLiteral("Could not create outputfile: %1").arg(outputPath));
    DecryptRequest request;
    request.keyFile = keyFilePath;
    request.inputs = QStringList {inputPath};
    return decryptLogs(request, err);
}

} // namespace KeyUtility
