// User-facing file and format errors. Unlike internal failures they describe a problem with the caller's input
// or environment; the Python layer raises them as OSError and ValueError with the message unchanged.
#pragma once

#include <stdexcept>
#include <string>

namespace tandrel {

/// A file could not be created, opened or read ("Failed to ..."); raised in Python as OSError.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Content could not be written or parsed ("Failed to ..."); raised in Python as ValueError.
struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The operating system's text for an errno value, with its number: "No such file or directory (os error 2)".
std::string os_error_text(int err);

}  // namespace tandrel
