#pragma once
// The message that sending by mail hands to the user's mail client, and the xdg-email
// command line that carries it; nothing is sent until the user sends it there.
#include <string>
#include <vector>

namespace vedris {

struct MailMessage {
    std::string Subject;
    std::string RecipientName;
    // Used as it stands, also when empty.
    std::string RecipientAddress;
    // Full path of the one attachment.
    std::string Attachment;
};

// The xdg-email command line for message, program name first:
//   xdg-email --utf8 --subject SUBJECT --to "NAME <ADDRESS>" --attach FILE
// "--utf8" because our texts are UTF-8 whatever the locale (without it xdg-email converts
// them from the locale's charset, and under the C locale the subject and the recipient are
// dropped). The recipient goes with "--to" because a plain address argument must contain
// "@", so an empty or local address would make xdg-email refuse the whole message. The body
// is left out: xdg-email refuses an empty "--body", and a message without one opens with an
// empty body.
std::vector<std::string> MailCommandLine(const MailMessage& message);

} // namespace vedris
