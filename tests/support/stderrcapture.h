#ifndef REVERIZ_TESTS_SUPPORT_STDERRCAPTURE_H
#define REVERIZ_TESTS_SUPPORT_STDERRCAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

/** Sends everything written to std::cerr into a string while it lives. */
class StderrCapture
{
public:
    StderrCapture()
        : m_previous(std::cerr.rdbuf(m_captured.rdbuf()))
    {
    }
    ~StderrCapture() { std::cerr.rdbuf(m_previous); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string text() const { return m_captured.str(); }

private:
    std::ostringstream m_captured;
    std::streambuf* m_previous;
};

#endif
