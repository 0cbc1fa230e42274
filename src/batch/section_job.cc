#include "batch/section_job.h"

namespace webletter {

// Interim: the job lands with the page fetch and the mail sender.
bool ProcessSection(const std::string& /*section*/, ProgramState& /*state*/,
                    MessageBox& message_box) {
  message_box.Show("Batch mode is not part of this build yet");
  return false;
}

}  // namespace webletter
