// Small file operations that never write through a symbolic link: a host
// directory is full of links into the real system's /usr.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "sys_fd.h"

namespace hostsim {

// Both ends close on exec; a child gets the ends it keeps through its ChildSpec.
sys::Pipe make_pipe();

// Throws std::runtime_error naming the path and the system error.
[[noreturn]] void throw_system_error(std::string_view what, const std::filesystem::path& path);

std::string read_text_file(const std::filesystem::path& path);

// Creates `path` (it must not exist) with exactly `mode`, whatever the umask.
void write_new_file(const std::filesystem::path& path, std::string_view content, mode_t mode);

// Creates the directory `path` (it must not exist) with exactly `mode`.
void make_directory(const std::filesystem::path& path, mode_t mode);

// Removes the file or link at `path`, if any, without following a link.
// Throws when `path` is a directory.
void remove_non_directory(const std::filesystem::path& path);

}  // namespace hostsim
