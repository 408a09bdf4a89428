#ifndef REVERIZ_COMMON_KARNLOGGER_H
#define REVERIZ_COMMON_KARNLOGGER_H

/**
 * @file
 * The process-wide logger and its entry points: KARN_LOG, karn_logger, check_for_level and initialize_logging.
 */

#include "common/reverizexport.h"

#include <QString>

#include <atomic>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

/**
 * The process-wide logger. A record is one statement: check its level with check_for_level, take a writer
 * from karn_logger(), stream a LogHeader and the pieces; the writer holds the logger's mutex until the end of
 * the statement, so records of different threads never interleave. Both outputs (log file, standard error)
 * are off until the application calls initialize_logging.
 */
class REVERIZ_EXPORT KarnLogger
{
public:
    /** Record levels, from the fewest records to the most; a logger writes the records up to its level. */
    enum LogLevel { Error = 2, Info = 3, Debug = 4, Ultra = 5 };

    KarnLogger(const KarnLogger&) = delete;
    KarnLogger& operator=(const KarnLogger&) = delete;

    /** The logger, created on first use. */
    static KarnLogger* getInstance();
    /** Destroys the logger (flushing and closing its file); the next use creates a new one. Takes no lock. */
    static void destroyInstance();

    /** Opens path for appending; only the first call of a logger's life has an effect, even if it fails. */
    void setLogFile(const char* path);
    /** Writes the records of level and below from now on (Error at first). */
    void setLogLevel(LogLevel level);
    /** The level set last. */
    LogLevel getLogLevel() const { return m_level.load(std::memory_order_relaxed); }
    /** Whether records are also written to standard error (not at first). */
    void setEchoToStderr(bool echo) { m_echoToStderr.store(echo, std::memory_order_relaxed); }

    /** Takes the mutex; a failure surfaces as std::system_error. */
    void lock();
    /** Ends the record (flush) and releases the mutex. */
    void unlock();
    /** Writes a line break to every active output and flushes it. */
    void flush();

    /** Writes value to every active output, as std::ostream writes it; callers hold the mutex. */
    template<typename T> KarnLogger& operator<<(const T& value)
    {
        if (m_fileOpen)
            m_logStream << value;
        if (m_echoToStderr.load(std::memory_order_relaxed))
            std::cerr << value;
        return *this;
    }

private:
    KarnLogger() = default;
    ~KarnLogger();

    std::atomic<LogLevel> m_level {Error};
    std::ofstream m_logStream;
    bool m_fileOpen = false;
    std::atomic<bool> m_echoToStderr {false};

    static std::atomic<KarnLogger*> s_instance;
    static std::mutex s_mutex;
};

/** The header line of a record: process id, local time, source file and line, function. */
class REVERIZ_EXPORT LogHeader
{
public:
    /** The header of a record written at file and line in function; takes the time now. */
    LogHeader(const char* file, int line, const char* function);
    /** The header's line, with its line feed. */
    std::string get() const { return m_text; }

private:
    std::string m_text;
};

/** The writer of one record: holds the logger's mutex from construction to destruction. */
class REVERIZ_EXPORT ScopedKarnLogger
{
public:
    ScopedKarnLogger();
    ~ScopedKarnLogger();
    ScopedKarnLogger(const ScopedKarnLogger&) = delete;
    ScopedKarnLogger& operator=(const ScopedKarnLogger&) = delete;

    /** Writes value to the record, as std::ostream writes it. */
    template<typename T> ScopedKarnLogger& operator<<(const T& value)
    {
        *KarnLogger::getInstance() << value;
        return *this;
    }
    /** Writes the header's line. */
    ScopedKarnLogger& operator<<(const LogHeader& header);
    /** Latin-1; characters outside it become "?". */
    ScopedKarnLogger& operator<<(const QString& text);
    /** Writes the bytes of text as they are. */
    ScopedKarnLogger& operator<<(const std::string& text);
};

/** A writer for one record; the record ends when the last copy of the pointer goes. */
REVERIZ_EXPORT std::shared_ptr<ScopedKarnLogger> karn_logger();

/** True when records of level are to be skipped (the logger's level is lower). */
REVERIZ_EXPORT bool check_for_level(KarnLogger::LogLevel level);

/**
 * Turns standard-error output on (always), opens logFile when it is not empty and sets the level named
 * "ultra", "debug", "info" or "error". Returns false, leaving the level, for any other name.
 */
REVERIZ_EXPORT bool initialize_logging(std::string logFile, std::string levelName);

/** Writes one record at level with a header naming the calling site; the pieces are evaluated only when the
 *  level is enabled. Usage: KARN_LOG(KarnLogger::Debug) << "text " << value; */
#define KARN_LOG(level)                                                                                                \
    if (check_for_level(level)) {                                                                                      \
    } else                                                                                                             \
        *karn_logger() << LogHeader(__FILE__, __LINE__, Q_FUNC_INFO)

#endif
