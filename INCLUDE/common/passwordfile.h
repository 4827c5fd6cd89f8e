// The password file of the tools that log in without a terminal (kelvast's
// --password-file, kelexporter's password_file): its first line is the password.
#pragma once

#include <cstddef>
#include <string>

// The password in the file: its first line, without the line end. The file must be a
// regular file (a link to one is followed) that neither group nor others can read or
// write; a named pipe or device is refused without blocking on it. A line longer than bufSize - 1 bytes is refused.
// False with the reason in *error; buf then holds nothing of the file. Whatever was
// read besides the password is wiped.
bool ReadPasswordFile(const std::string& path, char* buf, std::size_t bufSize, std::string* error);
