#pragma once

#include <string>

// What a system error number means, in Spanish, for messages the user reads
// ("no existe", "permiso denegado", ...). Numbers without a text of their own
// read "error del sistema N".
std::string systemErrorText(int err);

// `s` between Spanish quotation marks: «s».
std::string quoted(const std::string& s);

// True when `path` ends with `extension` (written in lower case, with its
// dot), in any case: ".toc" matches "disc.TOC".
bool hasExtension(const std::string& path, const std::string& extension);
