// uninstall/path_macros.h: expands %W, %S, %P and the other path macros in the paths the uninstaller forms.
#pragma once

#include <cstddef>

// What the macros insert. The texts are fixed for a run; the directories and values behind
// callbacks cost a system or registry call (or, for %A, show a message), so they are asked for
// only when a path names them. A null callback inserts nothing.
struct PathMacroInputs
{
    const char *installDir;                              // %F, %I, and its first character for %K
    const char *productKey;                              // %D
    void (*windowsDir)(char *out, size_t outChars);      // %W
    void (*systemDir)(char *out, size_t outChars);       // %S
    void (*programFilesDir)(char *out, size_t outChars); // %P
    void (*regLang)(char *out, size_t outChars);         // %L
    void (*applicationMissing)();                        // %A, which inserts nothing
};

// Expands the macros of in into out (outChars includes the terminator): "%%" gives one '%', a
// letter (either case) from the table gives its text, which is not scanned again; '%' with any
// other character, and a final lone '%', vanish; %C and %U name fields this program never fills
// and insert nothing. Every run of backslashes in the result becomes one. Returns false, with out
// empty, when the result does not fit: a cut path could name a different file, so none is given.
bool ExpandMacroText(const char *in, char *out, size_t outChars, const PathMacroInputs &inputs);
