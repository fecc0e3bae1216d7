// The menu actions that take the results out of the program, and the assessment's print
// margins. Placeholders until saving, sending and page setup are built: they do nothing
// visible.
#include "client/ufrmMain.h"

namespace vedris {

void TfrmMain::acSaveToExecute() {}

void TfrmMain::acSendExecute() {}

void TfrmMain::ApplyAssessmentMargins() {}

} // namespace vedris
