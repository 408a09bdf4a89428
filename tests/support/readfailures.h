#ifndef REVERIZ_TESTS_SUPPORT_READFAILURES_H
#define REVERIZ_TESTS_SUPPORT_READFAILURES_H

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

// The ways a file to read fails, each with what FileUtilities::readByteArray (recoverTempReplace true) throws for it
// and what keyutility decrypt prints when it is the key file or the log file. One table serves the library's tests
// and the tool's, so that the two cannot drift apart.
namespace ReadFailures {

struct Row
{
    const char* name;
    // Turns the readable file at path into the case.
    std::function<void(const QString& path)> make;
    // What the read gives: 0 when it reads the file; -1 when it refuses it with InputRefusedException, whose
    // message is text; else the code of the plain ReverizException, whose details are the catalogue key text,
    // followed by a space and a description when described, and whose id is the path followed by idSuffix.
    int code;
    const char* text;
    bool described = false;
    const char* idSuffix = "";
    // What decrypt prints after "Could not decrypt file: ", with %1 for the file's name; empty when it decrypts.
    const char* decrypt = "";
};

inline void replace(const QString& path, const std::function<bool(const QByteArray& name)>& make)
{
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(make(QFile::encodeName(path)));
}

inline bool bindSocket(const QByteArray& name)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    // The socket file stays when the socket is closed; nothing listens on it then.
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

inline const std::vector<Row>& rows()
{
    static const std::vector<Row> table = {
        {"directory",
         [](const QString& path) {
             replace(path, [](const QByteArray& name) { return ::mkdir(name.constData(), 0700) == 0; });
         },
         4001, "LRC2040", true, "", "LRC2039"},
        // The files under /proc have the size 0 and yield bytes when read.
        {"size_that_differs_from_what_it_yields",
         [](const QString& path) {
             replace(path,
                     [](const QByteArray& name) { return ::symlink("/proc/self/status", name.constData()) == 0; });
         },
         4005, "LRC2140", true, "", "LRC2056"},
        {"missing", [](const QString& path) { ASSERT_TRUE(QFile::remove(path)); }, 4001, "LRC1112039", false,
         ".tempreplace", "LRC2039"},
        // A replacement interrupted between removing the file and renaming its companion into place.
        {"missing_beside_its_companion",
         [](const QString& path) { ASSERT_TRUE(QFile::rename(path, path + ".tempreplace")); }, 0, ""},
        {"fifo",
         [](const QString& path) {
             replace(path, [](const QByteArray& name) { return ::mkfifo(name.constData(), 0600) == 0; });
         },
         -1, "not a regular file: %1", false, "", "not a regular file: %1"},
        {"socket", [](const QString& path) { replace(path, bindSocket); }, -1, "not a regular file: %1", false, "",
         "not a regular file: %1"},
    };
    return table;
}

} // namespace ReadFailures

#endif
