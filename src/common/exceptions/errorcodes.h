#ifndef REVERIZ_COMMON_EXCEPTIONS_ERRORCODES_H
#define REVERIZ_COMMON_EXCEPTIONS_ERRORCODES_H

/**
 * @file
 * The error codes of the exception family and their message texts.
 */

#include "common/reverizexport.h"

#include <QString>

/**
 * Error codes of coded exceptions and their catalogue texts. The texts live in the application's translation
 * catalogue (context "ErrorCodes") under keys "LRC" + digits; without a catalogue the key itself is the text.
 */
class REVERIZ_EXPORT ErrorCodes
{
public:
    /** The codes this library raises, grouped by thousands. The catalogue knows many more (see translate). */
    enum Code : int {
        JsonParseFailed = 1030,
        JsonMemberMissing = 1031,
        JsonMemberInvalid = 1032,

        PackageFormatUnsupported = 2244,
        PackageKeyFileDoesNotExist = 2246,

        FileMissing = 4001,
        FileOpenFailed = 4002,
        FileWriteFailed = 4004,
        FileReadFailed = 4005,
        JsonFileParseFailed = 4006,
        FileFlushFailed = 4007,
        FileSyncFailed = 4008,
        FileRenameFailed = 4009,
        FileRemoveFailed = 4010,
        BlockFileMismatch = 4020,

        EncryptionFailed = 13001,
        DecryptionFailed = 13002,
    };

    /** The catalogue text of key in the context "ErrorCodes" (the key itself when no catalogue has it). */
    static QString t(const char* key);

    /**
     * The catalogue text of key in context with its lowest placeholder ("%1") filled with value. A text without a
     * placeholder, such as the bare key when no catalogue has it, is returned as it is.
     */
    static QString filled(const char* context, const char* key, const QString& value);

    /**
     * The message text of code. A code without a key of its own gets the text of "LRC2169" with the code put
     * in for its placeholder.
     */
    static QString translate(int code);
};

#endif
