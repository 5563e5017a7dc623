#pragma once
// One target of a "multihost" line: where it runs and the LOGIN line that opens its script.

#include <string>
#include <vector>

struct CMultiHostTarget {
    std::string host;
    std::string port;
    std::string loginPrefix;
    std::string loginUser;
    std::string loginPassword;
    // An address in brackets without its "]", or followed by anything but ":PORT".
    bool bracketsMalformed = false;
};

// Reads "host[:port],[prefix,]user,password" from the right; an IPv6 host stands in brackets
// ("[::1]:3004"). With fewer than two commas the
// target keeps the default host and port and has no login; nothing is trimmed or validated.
// "[v6]" or "[v6]:port": an IPv6 address stands in brackets, its own colons separating no port.
// True with the address and the port (left as it was when none is written); false for a text
// that does not begin with a closed bracket.
bool SplitBracketedHost(const std::string& text, std::string& host, std::string& port);

CMultiHostTarget ParseMultiHostTarget(const std::string& argument, const std::string& defaultHost,
                                      const std::string& defaultPort);

// The values the login fields name between "$" signs ("eng,$pw_a$"), field by field, so that a
// "," or "^" in a value stays inside its field.
std::vector<std::string> LoginValueNames(const CMultiHostTarget& target);
// "LOGIN [prefix,]user,password" and LF, or empty unless both user and password are set. With
// values named in its fields, it is a template line ("$LOGIN eng,$pw_a$"), filled when sent.
std::string LoginLine(const CMultiHostTarget& target);
