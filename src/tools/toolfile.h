// File access of the developer tools over the standard streams, which tell a
// failed read from the end of a file.
#pragma once
#include <cstddef>
#include <fstream>
#include <string>

namespace tw {

// Opens an existing file for reading. A directory is refused, as the
// system the tools were written for refused to open one as a file.
bool OpenToolInput(std::ifstream& file, const std::string& path);
// Creates the file, or truncates it when it exists, for writing.
bool CreateToolOutput(std::ofstream& file, const std::string& path);

// Reads up to n bytes into dst and sets *got to the count read. False when
// a read fails; a count below n without a failure is the end of the file.
bool ReadToolBlock(std::istream& file, void* dst, std::size_t n, std::size_t* got);
// Writes all n bytes and pushes them to the file. False when that fails.
bool WriteToolBlock(std::ostream& file, const void* src, std::size_t n);

// Deletes a tool's output file. Only a regular file or a link is deleted:
// an output that names a device or a directory is left alone.
void DeleteToolOutput(const std::string& path);

}  // namespace tw
