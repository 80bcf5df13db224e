// Console output: whole lines in the console code page, safe from any thread.
#pragma once

#include <cstdio>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Console {
public:
    // Writes the text in the OEM code page to standard output and flushes.
    static void print(String const& text);
    // Writes the text and a line end ("\n") as one piece, then flushes; lines
    // of different threads never interleave. Reports no failure.
    static void println(String const& text);
    // The same line on standard error: for tools whose output is only a
    // report of what went wrong.
    static void printlnError(String const& text);

private:
    static void _write(std::FILE* stream, String const& text, bool newline);
};

}  // namespace core
}  // namespace gt
