// The batch job: one section of webletter.ini from reading to sending.
#ifndef WEBLETTER_BATCH_SECTION_JOB_H_
#define WEBLETTER_BATCH_SECTION_JOB_H_

#include <string>

#include "platform/message_box.h"
#include "platform/program_state.h"

namespace webletter {

// Reads `section` (falling back to section Default key by key), fetches its page, checks the page
// and the values, and mails the page. Returns true when it was sent without error; otherwise every
// error has been reported by the state's reporting mode before it returns false.
bool ProcessSection(const std::string& section, ProgramState& state, MessageBox& message_box);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_SECTION_JOB_H_
