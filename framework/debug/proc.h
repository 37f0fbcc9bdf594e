// Proc: the trace scope every procedure opens first. It registers the procedure (ProcNew) and
// always closes it (ProcExit), so entry and exit cannot be forgotten. Steps that may fail run
// through Step(): an exception escaping a step - a run-time error, a C++ exception or a
// processor fault translated by the platform - is logged as an Event_ErrorHandler event of this
// procedure and the procedure goes on with the next step. That is how failures never propagate.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/debug/app_debug.h"
#include "platform/fault.h"

namespace kes::debug {

enum class Kind { Sub, Function, Property };

class Proc {
 public:
  Proc(std::u16string_view module, std::u16string_view name, Kind kind);
  ~Proc();
  Proc(const Proc&) = delete;
  Proc& operator=(const Proc&) = delete;

  std::int32_t id() const { return id_; }

  // ProcVar of the given kind with alternating name, value.
  void Vars(std::int32_t kind, std::vector<Value> name_value_pairs) const;
  void Args(std::vector<Value> name_value_pairs) const { Vars(Var_PassedByVal, std::move(name_value_pairs)); }
  void Created(std::vector<Value> name_value_pairs) const { Vars(Var_Created, std::move(name_value_pairs)); }
  // The function's result (single-element form).
  void Result(const Value& v) const { ProcVar(id_, Var_FunctionReturn, {v}); }

  void Log(std::u16string_view msg, std::int32_t type = Event_Normal, std::u16string_view vars = {},
           const Value& expected_rt = {}, const Value& expected_api = {}) const {
    dLog(id_, msg, type, vars, expected_rt, expected_api);
  }
  std::int32_t LogAPI(std::u16string_view api, std::u16string_view vars = {},
                      const Value& expected_api = {}) const {
    return dLogAPI(id_, api, vars, expected_api);
  }

  // Runs one step. Returns true when it completed, false when it failed and was logged.
  template <class F>
  bool Step(F&& step, std::u16string_view what = {}) const {
    try {
      std::forward<F>(step)();
      return true;
    } catch (const RuntimeErrorException& e) {
      Fail(e.error, what);
    } catch (const platform::ProcessorFault& f) {
      FailFault(f, what);
    } catch (const std::exception& e) {
      FailStd(e, what);
    }
    return false;
  }

 private:
  void Fail(const RuntimeError& err, std::u16string_view what) const;
  void FailFault(const platform::ProcessorFault& f, std::u16string_view what) const;
  void FailStd(const std::exception& e, std::u16string_view what) const;

  std::int32_t id_;
};

// Description of a processor exception code ("Access Violation", "Unknown (&HC0000135)"...).
std::u16string GetExceptionDescription(std::uint32_t code);

}  // namespace kes::debug
