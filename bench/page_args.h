// A benchmark program in the browser has no command line: the page's address gives its words,
// index.html?program=NAME&args=work,100 as "NAME work 100" (at most four words of 31 characters).
#pragma once

#include <emscripten.h>

// clang-format off
EM_JS(int, pageArgument, (int index, char* out, int size), {
    var words = (new URLSearchParams(location.search).get("args") || "").split(",");
    words = words.filter(function(word) { return word.length > 0; });
    if (index >= words.length || lengthBytesUTF8(words[index]) >= size) return 0;
    stringToUTF8(words[index], out, size);
    return 1;
});
// clang-format on

namespace {

// Replaces the program's arguments with the page's: argv[0] stays the program's name.
void pageArguments(int* argc, char*** argv) {
    static char words[4][32];
    static char* list[5];
    list[0] = *argc > 0 ? (*argv)[0] : nullptr;
    int count = 1;
    while (count < 5 && pageArgument(count - 1, words[count - 1], (int)sizeof(words[0])) != 0) {
        list[count] = words[count - 1];
        count++;
    }
    *argc = count;
    *argv = list;
}

} // namespace
