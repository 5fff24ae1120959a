// The connection's translation library, and character text at the
// application boundary.
//
// A data source names a translation library by "TranslationDLL" and
// "TranslationOption" (a connection string by TranslationDLL= and
// TranslationOption=); an application by the connect options 106 and 107.
// It is loaded after every successful connect (rcConnLoadTranslation,
// rcconnect.h) and unloaded at disconnect.
//
// The engine works in Windows-1252 throughout: its collation, LIKE, case
// rules and lengths are those of that code page. So the library is applied
// where text crosses between the application and the driver, never between
// the engine and the data module (the table-access session gets the library
// for the login only):
//   toward the driver   SQL text, catalog arguments, character parameters:
//                       SQLDriverToDataSource (rcXlateFromApp)
//   toward the app      result values (rcXlateDeliverText), names and texts
//                       the driver hands out (rcXlateCopyOut, rcXlateToApp):
//                       SQLDataSourceToDriver
// A library may give more bytes than it was given (UTF-8 from Windows-1252):
// every call passes the room there really is and reads the full length the
// library reports, never assuming that output and input are as long. To cut
// a long value into pieces at character boundaries the connection keeps,
// per byte of the code page, how many bytes the library makes of it
// (measured once when the library is loaded or its option changes).
//
// SQL_C_WCHAR (UTF-16, unixODBC's two-byte SQLWCHAR) is the driver's own
// conversion from and to Windows-1252, with or without a library: every
// character of the code page is one UTF-16 unit.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct rcConn;
struct rcErrorQueue;

// Longest library name (SQL_TRANSLATE_DLL, TranslationDLL).
inline constexpr size_t kRcXlateNameMax = 255;

// Loads the named library (an empty name unloads it) and binds both
// functions; 0, or -1 with 5143 (null name), 5136 or 5167 posted. On failure
// the library already loaded stays.
int16_t rcXlateLoad(rcConn *conn, const char *name);
void rcXlateUnload(rcConn *conn);
// Measures the library again (after its option changed).
void rcXlateMeasure(rcConn *conn);
inline bool rcXlateLoaded(const rcConn *conn);
// A connection-string pair TranslationDLL=... or TranslationOption=... (the
// value may be braced): kept for rcConnLoadTranslation, the first of each
// winning. False for any other key.
bool rcConnTakeTranslationKey(rcConn *conn, const char *key, size_t keyLength, const char *value,
                              size_t valueLength);
// true on success (also when no library is loaded). With a library, a failure
// posts 5167 with the library's text on the statement's queue when stmtErrors
// is given, else on the connection. outLength may be null.
bool rcXlateToDataSource(rcConn *conn, struct rcErrorQueue *stmtErrors, int16_t sqlType,
                         const void *in, int64_t inLength, void *out, int64_t outSize,
                         int64_t *outLength);
// Translates buffer in place; true on success. errorText (256 bytes) receives
// the library's text on failure; nothing is posted.
bool rcXlateToDriver(rcConn *conn, int16_t sqlType, void *buffer, int64_t inLength,
                     int64_t bufferSize, char *errorText);

// How text of C type cType from a value of SQL type sqlType crosses the
// application boundary.
enum rcXlateMode : uint8_t {
    RC_XLATE_NONE = 0, // as the driver has it (Windows-1252)
    RC_XLATE_LIBRARY,  // through the translation library (SQL_C_CHAR of text)
    RC_XLATE_WIDE,     // UTF-16 (SQL_C_WCHAR)
};
rcXlateMode rcXlateModeOf(const rcConn *conn, int16_t cType, int16_t sqlType);
// True for SQL_CHAR, SQL_VARCHAR and SQL_LONGVARCHAR.
bool rcXlateIsText(int16_t sqlType);
// The most bytes the application receives for one character of a text
// column: 1 without a library (3 for UTF-8). Lengths and display sizes of
// text columns are told in those bytes, so that buffers sized by them hold
// every value.
uint32_t rcXlateMaxWidth(const rcConn *conn);

// Text from the application into the driver's Windows-1252: in, length
// bytes (SQL_NTS: terminated; for RC_XLATE_WIDE, length in bytes of UTF-16
// and SQL_NTS ends at a zero unit) into *out. True on success; a character
// the code page lacks (or that the library refuses) posts 22018 on errors
// with the library's text, or a text naming the character (with errors
// null, *out holds that text instead).
bool rcXlateFromApp(rcConn *conn, rcErrorQueue *errors, rcXlateMode mode, const void *in,
                    int64_t length, std::string *out);
// Text of the driver (length bytes, SQL_NTS: terminated) as the application
// reads it through the library, into *out; true on success (posted on
// errors otherwise, when given).
bool rcXlateToApp(rcConn *conn, rcErrorQueue *errors, const char *in, int64_t length,
                  std::string *out);
// rcCopyOutString through the library: text (terminated) into out (size
// bytes, terminated, whole characters only); *full receives the whole
// translated length. True when the text was cut. Without a library it is
// rcCopyOutString itself.
bool rcXlateCopyOut(rcConn *conn, char *out, const char *text, int64_t size, int64_t *full);

// Where one value stands in its delivery piece by piece.
struct rcXlatePiece {
    uint32_t source = 0;    // bytes of the driver's text read so far
    uint32_t delivered = 0; // bytes the application received so far
};
// Reads a value's text from offset on: into buffer (size bytes, terminated
// when size > 0), *left the bytes from offset to the end (however many
// fitted); 0, or -1 with the error posted.
using rcXlateReadFn = int16_t (*)(void *context, uint32_t offset, char *buffer, int32_t size,
                                  int32_t *left, bool *isNull);
// Delivers the rest of a text value (read by read) in the application's
// encoding into value (bufferLength bytes, terminated), whole characters
// only; *length receives the bytes left from this piece on (SQL_NULL_DATA
// for NULL). maxLength (SQL_MAX_LENGTH, 0 none) ends the value after that
// many delivered bytes without truncation. *more tells that a piece is left.
// 0; 1 cut (01004 posted on errors); -1 error posted. scratch is the
// caller's buffer, kept for the next value.
int16_t rcXlateDeliverText(rcConn *conn, rcErrorQueue *errors, rcXlateMode mode,
                           std::vector<char> *scratch, rcXlateReadFn read, void *context,
                           void *value, int64_t bufferLength, SQLLEN *length, uint32_t maxLength,
                           rcXlatePiece *piece, bool *more);

#include "driver/odbc/rcconn.h"
inline bool rcXlateLoaded(const rcConn *conn) { return conn->xlateModule != nullptr; }
