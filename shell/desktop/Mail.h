#pragma once
// Mail through the user's mail client: xdg-email opens its compose window with the
// message filled in, and nothing is sent until the user sends it there.
#include "platform/desktop/MailCommandLine.h"

namespace vedris::desktop {

using vedris::MailCommandLine;
using vedris::MailMessage;

// Starts xdg-email (found through PATH) with MailCommandLine and returns at once. Whether it
// could be started and what it reports is not examined.
void ComposeMail(const MailMessage& message);

} // namespace vedris::desktop
