// The one rule for names taken from a package: whether a name, joined below the
// destination folder, stays inside it. The stub refuses to extract what this refuses,
// and the packer refuses to write it and reports it when it reads a package.
#ifndef VELMOR_NAME_RULE_H
#define VELMOR_NAME_RULE_H

// How to step through text in the archive's ANSI code page.
struct CharStep {
    // The address of the character after the one at text, which is not the zero
    // byte: past both bytes of a double-byte character.
    const char *(*next)(const char *text, void *context);
    void *context;
};

// What a name may be.
enum NameForm {
    kFileNameForm = 0,  // one level that names something: an entry's file name
    kPathForm = 1       // levels joined by backslashes: an entry's directory name
};

// 1 when name stays below the folder it is joined to. Refused: a leading separator
// (backslash or slash), a colon anywhere (drive letters, streams), a level made only of
// dots and spaces ("..", and "..." or ".. ", which Windows trims to it; "." and " ",
// which name no folder that can be created), and for kFileNameForm any separator or
// a name without a character other than dots and spaces. An empty level between two
// separators, or after a trailing one, is allowed: Windows skips it.
// Separators are found character by character, so that the trail byte of a
// double-byte character is never taken for one.
int NameStaysInside(const char *name, int form, const CharStep *step);

#endif
