#include "error_handling/ProcedureTrap.h"

namespace xmlpellor {

bool ProcedureTrap::Handle(const ErrorRecord& error) noexcept {
  if (error.number == m_passOver.number) {
    if (m_passOver.kind == PassOver::Kind::ResumeNext) return true;
    if (m_passOver.kind == PassOver::Kind::Silently) {
      m_ended = true;
      return false;
    }
  }
  m_errors.ReportError(error.number, error.description, error.source, error.helpFile,
                       error.helpContext);
  m_ended = true;
  return false;
}

}  // namespace xmlpellor
