#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "error_handling/ErrorHandling.h"
#include "platform/RuntimeError.h"

namespace xmlpellor {

// How a procedure's trap treats one error number differently from the rest.
struct PassOver {
  enum class Kind { Nothing, Silently, ResumeNext };
  Kind kind = Kind::Nothing;
  std::int32_t number = 0;

  // The procedure ends without a report (the file pickers' Cancel).
  static constexpr PassOver SilentlyOn(std::int32_t n) { return {Kind::Silently, n}; }
  // The failing step is skipped without a report and the next step runs
  // (the layout's refused moves).
  static constexpr PassOver ResumeNextOn(std::int32_t n) { return {Kind::ResumeNext, n}; }
};

// The error trap every procedure of the main window carries. A run-time
// error (or anything else thrown) inside the guarded body ends the body,
// goes to ReportError once, and never leaves the procedure.
//
//   ProcedureTrap trap(errors);
//   trap.Run([&] { ...whole body... });
//
// A procedure that resumes after some error number runs its steps one by
// one instead; once an error has ended the procedure, later steps do not run:
//
//   ProcedureTrap trap(errors, PassOver::ResumeNextOn(err::kInvalidProcedureCall));
//   trap.Step([&] { ... });
//   trap.Step([&] { ... });
class ProcedureTrap {
 public:
  explicit ProcedureTrap(ErrorHandling& errors, PassOver passOver = {}) noexcept
      : m_errors(errors), m_passOver(passOver) {}

  ProcedureTrap(const ProcedureTrap&) = delete;
  ProcedureTrap& operator=(const ProcedureTrap&) = delete;

  // Runs the body unless the procedure has already ended. Returns true when
  // the body ran to its end (or a resumable error was skipped).
  template <class Body>
  bool Run(Body&& body) noexcept {
    if (m_ended) return false;
    try {
      std::forward<Body>(body)();
      return true;
    } catch (...) {
      return Handle(CurrentErrorRecord());
    }
  }

  template <class Fn>
  bool Step(Fn&& step) noexcept {
    return Run(std::forward<Fn>(step));
  }

  // True once an error has ended the procedure.
  bool Ended() const noexcept { return m_ended; }

 private:
  bool Handle(const ErrorRecord& error) noexcept;

  ErrorHandling& m_errors;
  PassOver m_passOver;
  bool m_ended = false;
};

// Runs a function's body under its trap and returns its result as the body
// last assigned it (still the empty value when it failed before assigning).
template <class Result, class Body>
Result Guarded(ErrorHandling& errors, Body&& body) noexcept {
  Result result{};
  ProcedureTrap(errors).Run([&] { std::forward<Body>(body)(result); });
  return result;
}

}  // namespace xmlpellor
