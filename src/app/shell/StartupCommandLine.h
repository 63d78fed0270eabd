#pragma once
// The command line of the viewer and the screen rules applied at start-up.

#include "codecs/model/Geometry.h"

#include <string>
#include <vector>

namespace lumara {

struct CommandLineFile {
    bool empty = true;       // no arguments: PreviousFile "*"
    std::string path;        // all arguments joined with single blanks, case kept
    std::string extension;   // upper-cased, with the dot
};

// Joins the arguments (so an unquoted path with blanks survives) and resolves
// a relative path against the working folder.
CommandLineFile ParseCommandLine(const std::vector<std::string>& arguments,
                                 const std::string& workingDirectory);

// Saved window bounds fitted to a screen of screenWidth by screenHeight.
// tooSmall is set when width or height is below 64: the caller then sizes the
// window to half the screen by its sizing rule instead of using the result.
TRect FitBoundsToScreen(TRect bounds, int screenWidth, int screenHeight, bool* tooSmall);

} // namespace lumara
