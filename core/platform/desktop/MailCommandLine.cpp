#include "platform/desktop/MailCommandLine.h"

namespace vedris {

std::vector<std::string> MailCommandLine(const MailMessage& message) {
    return {"xdg-email", "--utf8",
            "--subject", message.Subject,
            "--to",      message.RecipientName + " <" + message.RecipientAddress + ">",
            "--attach",  message.Attachment};
}

} // namespace vedris
