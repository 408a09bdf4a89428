#include "karnlogger.h"

#include <QCoreApplication>

#include <ctime>
#include <iostream>

std::atomic<KarnLogger*> KarnLogger::s_instance {nullptr};
std::mutex KarnLogger::s_mutex;

KarnLogger* KarnLogger::getInstance()
{
    KarnLogger* logger = s_instance.load(std::memory_order_acquire);
    if (logger)
        return logger;
    const std::lock_guard<std::mutex> guard(s_mutex);
    logger = s_instance.load(std::memory_order_relaxed);
    if (!logger) {
        logger = new KarnLogger;
        s_instance.store(logger, std::memory_order_release);
    }
    return logger;
}

void KarnLogger::destroyInstance()
{
    delete s_instance.exchange(nullptr, std::memory_order_acq_rel);
}

KarnLogger::~KarnLogger()
{
    flush();
    if (m_fileOpen)
        m_logStream.close();
}

void KarnLogger::setLogFile(const char* path)
{
    const std::lock_guard<std::mutex> guard(s_mutex);
    if (m_fileOpen)
        return;
    m_fileOpen = true;
    m_logStream.open(path, std::ios::out | std::ios::app);
    if (m_logStream.is_open())
        m_logStream.clear();
    else
        m_logStream.setstate(std::ios::failbit); // later insertions do nothing
}

void KarnLogger::setLogLevel(LogLevel level)
{
    const std::lock_guard<std::mutex> guard(s_mutex);
    m_level.store(level, std::memory_order_relaxed);
}

void KarnLogger::lock()
{
    s_mutex.lock();
}

void KarnLogger::unlock()
{
    flush();
    s_mutex.unlock();
}

void KarnLogger::flush()
{
    if (m_fileOpen)
        m_logStream << std::endl;
    if (m_echoToStderr.load(std::memory_order_relaxed))
        std::cerr << std::endl;
}

namespace {

// The 24 characters of asctime, built with the re-entrant time functions.
std::string localTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    char buffer[64] = {};
    if (!localtime_r(&now, &local) || !asctime_r(&local, buffer))
        return std::string();
    std::string text(buffer);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

LogHeader::LogHeader(const char* file, int line, const char* function)
{
    m_text = std::to_string(QCoreApplication::applicationPid()) + " [" + localTimeText() + "] " + file + ":"
        + std::to_string(line) + " " + function + "\n";
}

ScopedKarnLogger::ScopedKarnLogger()
{
    KarnLogger::getInstance()->lock();
}

ScopedKarnLogger::~ScopedKarnLogger()
{
    KarnLogger::getInstance()->unlock();
}

ScopedKarnLogger& ScopedKarnLogger::operator<<(const LogHeader& header)
{
    return *this << header.get();
}

ScopedKarnLogger& ScopedKarnLogger::operator<<(const QString& text)
{
    const QByteArray latin1 = text.toLatin1();
    return *this << std::string(latin1.constData(), static_cast<std::size_t>(latin1.size()));
}

ScopedKarnLogger& ScopedKarnLogger::operator<<(const std::string& text)
{
    *KarnLogger::getInstance() << text;
    return *this;
}

std::shared_ptr<ScopedKarnLogger> karn_logger()
{
    return std::make_shared<ScopedKarnLogger>();
}

bool check_for_level(KarnLogger::LogLevel level)
{
    return KarnLogger::getInstance()->getLogLevel() < level;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the by-value signature is the interface
bool initialize_logging(std::string logFile, std::string levelName)
{
    KarnLogger* logger = KarnLogger::getInstance();
    logger->setEchoToStderr(true);
    if (!logFile.empty())
        logger->setLogFile(logFile.c_str());

    static const struct
    {
        const char* name;
        KarnLogger::LogLevel level;
    } levels[] = {
        {"ultra", KarnLogger::Ultra},
        {"debug", KarnLogger::Debug},
        {"info", KarnLogger::Info},
        {"error", KarnLogger::Error},
    };
    for (const auto& entry : levels) {
        if (levelName == entry.name) {
            logger->setLogLevel(entry.level);
            return true;
        }
    }
    return false;
}
