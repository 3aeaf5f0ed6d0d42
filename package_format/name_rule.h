// The one rule for names taken from a package: whether a name, joined below the
// destination folder, names a file or folder inside it. The stub refuses to extract
// what this refuses, and the packer refuses to write it and reports it when it reads
// a package.
#ifndef VELMOR_NAME_RULE_H
#define VELMOR_NAME_RULE_H

// How to step through text in the archive's ANSI code page.
struct CharStep {
    // The address of the character after the one at text, which is not the zero
    // byte: past both bytes of a double-byte character. Null when the character is
    // cut short: a lead byte with the zero byte right behind it.
    const char *(*next)(const char *text, void *context);
    void *context;
    // Nonzero when the code page writes the superscript digits one to three as the
    // bytes B9, B2 and B3 (as 1252 does), which Windows takes as COM and LPT numbers.
    int superscriptDigits;
    // 1 when the whole name is text in the code page as Windows converts it: every
    // byte sequence a character that converts to Unicode and back to the same bytes.
    // Windows gives a sequence its table does not define (a lead byte with a second
    // byte it does not take) a stand-in character, so the file would get another name.
    int (*isText)(const char *name, void *context);
};

// What a name may be.
enum NameForm {
    kFileNameForm = 0,  // one level that names something: an entry's file name
    kPathForm = 1       // levels joined by backslashes: a directory name, the setup program
};

// Results of CheckName.
enum NameCheck {
    kNameLeavesFolder = 0, // a separator, colon or dots-only level: it would not stay inside
    kNameAccepted = 1,
    kNameIsDevice,         // a level Windows takes for a device
    kNameCharacterCut,     // the last character is cut short
    kNameNotCreatable,     // Windows would not create it as it is
    kNameNotText           // not text in the code page (CharStep::isText)
};

// 1 when Windows allows no file name to hold the byte c as a character of its own:
// the control characters 01 to 1F and < > " | ? *. (The zero byte ends a name; the
// separators and the colon have rules of their own.)
int IsForbiddenNameCharacter(unsigned char c);

// kNameAccepted when name stays below the folder it is joined to and names no device.
// Refused:
// - a leading separator (backslash or slash), a colon anywhere (drive letters, streams);
// - a level made only of dots and spaces ("..", and "..." or ".. ", which Windows trims
//   to it; "." and " ", which name no folder that can be created);
// - a level that Windows takes for a device, in any letter case, with or without an
//   extension and with trailing spaces before it or dots and spaces after it: CON,
//   PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (and with the superscript digits one to
//   three), CONIN$, CONOUT$ and CLOCK$;
// - a name whose last character is cut short, whose lead byte would otherwise take
//   the backslash of the next join as its second byte;
// - for kFileNameForm, any separator, or no character other than dots and spaces;
// - kNameNotCreatable: a character IsForbiddenNameCharacter refuses, or a level that
//   ends in a dot or a space. Windows drops those from the end of the name it creates,
//   so that the level would be another name on disk than in the package, and the
//   path through it would not be found.
// An empty level between two separators, or after a trailing one, is allowed: Windows
// skips it. Separators are found character by character, so that the second byte of
// a double-byte character is never taken for one.
int CheckName(const char *name, int form, const CharStep *step);

// 1 when CheckName accepts name, 0 otherwise.
int NameStaysInside(const char *name, int form, const CharStep *step);

#endif
