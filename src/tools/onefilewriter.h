// The maker of one-file images: the 812-byte header, then the EBOOT, PDA and
// PHONE files behind each other.
#pragma once
#include <ostream>
#include <string>

#include "platform/wintypes.h"

namespace tw {

// AppendFileTo codes.
inline constexpr int kAppendCannotOpen = -1;
inline constexpr int kAppendReadFailed = -2;
inline constexpr int kAppendWriteFailed = -3;
inline constexpr int kAppendShortWrite = -4;  // kept for the table; a stream writes all or fails
inline constexpr int kAppendEmptySource = -5;
// A source whose length does not fit the header's 32-bit size field.
inline constexpr int kAppendTooLarge = -6;

// WriteOneFileImage codes; a failed copy of a part gives the AppendFileTo
// code - 10 (EBOOT), - 20 (PDA) or - 30 (PHONE).
inline constexpr int kWriteCannotCreate = -1;
inline constexpr int kWriteHeaderFailed = -2;
inline constexpr int kWriteHeaderEmpty = -3;  // kept for the table; a stream writes all or fails
inline constexpr int kWriteSeekFailed = -4;

// The size of one copy step.
inline constexpr std::size_t kAppendChunk = 1024 * 1024;

// Copies the file dir + "\\" + name to the output's position, in 1 MiB
// steps; *length gets the count copied. 0, or a code above. An empty
// source is a failure, so a part of size 0 is never written.
int AppendFileTo(std::ostream& out, const std::string& dir, const std::string& name, DWORD* length);

// Writes the one-file image at output (used as given: a relative path is
// relative to the current directory): the header with the tag and the three
// names, the three files from dir, then the header again with their sizes.
// 0, or a code above. A failure leaves the partly written output in place.
int WriteOneFileImage(const std::string& output, const std::string& dir, const std::string& ebootName,
                      const std::string& pdaName, const std::string& phoneName);

// What a WriteOneFileImage code means, for a line on the command line.
std::string OneFileMakeError(int code);

}  // namespace tw
