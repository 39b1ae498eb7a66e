// The host's locale as the stand-in reads it: whether its character set is
// UTF-8. The stand-in's code pages follow it, and so does the encoding in
// which a terminal is taken to read what it is sent.
#pragma once

namespace standin {

// True when the locale that the environment names (LC_ALL, LC_CTYPE,
// LANG) reads UTF-8; read once per process.
bool HostLocaleIsUtf8();

}  // namespace standin
