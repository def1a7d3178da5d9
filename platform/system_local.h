// Internals shared by the system stand-in's files.
#pragma once

#include <string>
#include <vector>

// A path resolved through the drive view: its drive, its components below the drive root (with the
// case found on disk where a component exists) and the POSIX path they make.
struct SysPath {
    char drive;
    std::vector<std::string> parts;
    std::string posix;
};

// Resolves a Windows-form or POSIX-form path against the current folder. Never fails: components
// that do not exist keep the case they were written in.
SysPath sys_resolve(const char *path);

// Case-blind ASCII comparison, as Windows names compare.
int sys_name_compare(const std::string &a, const std::string &b);

// Windows wildcard match of a file name ("*.qel", "*.", "?").
bool sys_wildcard_match(const char *pattern, const char *name);

// The whole file read through the path layer; false (out empty) when it cannot be opened or holds
// more than max_bytes.
bool sys_read_file(const char *path, std::string &out, size_t max_bytes);
