#pragma once
// A command as the log, the summary and the report show it. They are read by other users of
// the machine, so a LOGIN command shows "***" in place of its password; the wire carries it
// unchanged.

#include <cstddef>
#include <string>
#include <string_view>

// False for most commands that are no LOGIN, told by their first two bytes.
inline bool MayBeLoginCommand(std::string_view command) {
    return command.size() > 1 && (command[0] == '$' || command[0] == ' ' || command[0] == '\t' ||
                                  ((command[0] | 0x20) == 'l' && (command[1] | 0x20) == 'o'));
}
// Where the fields of a LOGIN command begin, past LOGIN and its blanks; npos for any other.
std::size_t LoginFields(std::string_view command);
// True for a LOGIN command however it is written: any case, blanks or tabs before and after
// LOGIN, and as a template line ("$LOGIN ...", "$ LOGIN ..."). Asked of every command a run
// sends and judges: most are told by their first two bytes, inline.
inline bool IsLoginCommand(std::string_view command) {
    return MayBeLoginCommand(command) && LoginFields(command) != std::string_view::npos;
}
// A LOGIN shows its first field and "***" for everything after the first comma that follows
// LOGIN ("LOGIN ovrel,***", "LOGIN prefix,***"); a LOGIN with one field hides it whole. Other
// commands are shown as they are.
std::string ShownCommand(std::string_view command);
// An answer to `command` as it may be shown: a server that echoes a LOGIN it refused would show
// its password, so after a LOGIN the answer's own LOGIN fields are masked as above; every
// password the run knows is masked as MaskPasswords does; and the answer to a LOGIN whose
// password is too short to be told from other words is withheld (kWithheldAnswer).
std::string ShownAnswer(std::string_view command, std::string_view answer);
constexpr const char* kWithheldAnswer = "(answer withheld: it may hold a password)";
// What a server sent as it may be shown, whatever it answers: an echoed LOGIN's fields and every
// known password masked.
std::string MaskedEcho(std::string_view text);
// The password of a LOGIN command (what follows the first comma after LOGIN, without edge
// blanks); empty for any other command.
std::string_view LoginPassword(std::string_view command);
// Whether `field` stands in `text` as a whole field (see MaskPasswords).
bool HoldsWholeField(std::string_view text, std::string_view field);

// The passwords of the run: each LOGIN's (what follows the first comma after LOGIN), from the
// script's lines and from the values filled into them, told as they become known, from any
// thread.
void KnowLoginPassword(std::string_view command);
// A password this short would be masked inside other words ("1" in "LEVEL.1"): the answers to
// its LOGIN are withheld instead.
constexpr std::size_t kShortestMaskedPassword = 4;
bool ShortPasswordKnown();
// True once a password long enough to be masked is known.
bool PasswordsKnown();
// True when `command` is a LOGIN whose password is that short.
bool HasShortPassword(std::string_view command);
// `text` with every known password of kShortestMaskedPassword bytes or more masked "***" where
// it stands as a whole field: between the text's ends, blanks, commas, "=" or ":".
std::string MaskPasswords(std::string_view text);
// The same in place; false when nothing was known to mask (the text is then untouched).
bool MaskPasswordsIn(std::string& text);
