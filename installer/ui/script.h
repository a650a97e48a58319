// What a script that drives Setup with "/test /go" reads when a check refuses
// the start: nobody would answer a message box, so none is shown.
#pragma once
#include <windows.h>

// The file a refused "/test /go" start leaves its text in, in the temporary folder.
#define REFUSED_FILE L"EmberveilSetup-refused.txt"

// An AskFn for "/test /go": the text goes to the console Setup was started
// from (when there is one), to standard error (when it leads to a file or a
// pipe) and into REFUSED_FILE, each as one line in UTF-8 (a question's line
// ends in its answer, "No"); a question is answered No, anything else OK.
int ask_script(const wchar_t *text, UINT style);
// Removes REFUSED_FILE: a start that the checks accepted leaves none behind.
void script_accepted(void);
