// Proc: the trace scope every procedure opens first. It registers the procedure (ProcNew) and
// always closes it (ProcExit), so entry and exit cannot be forgotten. Steps that may fail run
// through Step(): an exception escaping a step - a run-time error, a C++ exception or a
// processor fault translated by the platform - is logged as an Event_ErrorHandler event of this
// procedure and the procedure goes on with the next step. That is how failures never propagate.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/debug/exception_handler.h"
#include "framework/debug/tracing.h"
#include "platform/fault.h"

namespace kes::debug {

enum class Kind { Sub, Function, Property };

// What a Value is made from, other than a text (texts are looked at in place) or a Value.
template <class T>
concept ValueArgument =
    std::is_constructible_v<Value, T> && !std::is_convertible_v<T, std::u16string_view> &&
    !std::is_same_v<std::remove_cvref_t<T>, Value>;

// One element of a variable list handed to a Proc: a name or text is looked at where it is (no
// copy is made), anything else is held as a Value. Lives only as long as the call it is part of.
class VarItem {
 public:
  VarItem(const char16_t* text) : text_(text ? text : u""), is_text_(true) {}
  VarItem(std::u16string_view text) : text_(text), is_text_(true) {}
  VarItem(const std::u16string& text) : text_(text), is_text_(true) {}
  VarItem(const Value& v) : ref_(&v) {}
  template <ValueArgument T>
  VarItem(T&& v) : owned_(std::forward<T>(v)) {}
  VarItem(const VarItem&) = delete;
  VarItem& operator=(const VarItem&) = delete;

  bool is_text() const { return is_text_; }
  std::u16string_view text() const { return text_; }
  const Value& value() const { return ref_ ? *ref_ : owned_; }

 private:
  std::u16string_view text_;
  const Value* ref_ = nullptr;
  Value owned_;
  bool is_text_ = false;
};

// ProcVar over a list of items (what Proc's variable calls use).
void ProcVarItems(std::int32_t proc_id, std::int32_t var_kind, const VarItem* items,
                  std::size_t count);

class Proc {
 public:
  // Registers the procedure; a failure leaves an ID that later calls treat as unregistered.
  Proc(std::u16string_view module, std::u16string_view name, Kind kind);
  // Closes the record (ProcExit).
  ~Proc();
  Proc(const Proc&) = delete;
  Proc& operator=(const Proc&) = delete;

  std::int32_t id() const { return id_; }

  // ProcVar of the given kind with alternating name, value (or a single value).
  void Vars(std::int32_t kind, const std::vector<Value>& name_value_pairs) const {
    ProcVarList(id_, kind, name_value_pairs.data(), name_value_pairs.size());
  }
  void Vars(std::int32_t kind, std::initializer_list<VarItem> name_value_pairs) const {
    ProcVarItems(id_, kind, name_value_pairs.begin(), name_value_pairs.size());
  }
  void Args(const std::vector<Value>& name_value_pairs) const {
    Vars(Var_PassedByVal, name_value_pairs);
  }
  void Args(std::initializer_list<VarItem> name_value_pairs) const {
    Vars(Var_PassedByVal, name_value_pairs);
  }
  void ByRef(std::initializer_list<VarItem> name_value_pairs) const {
    Vars(Var_PassedByRef, name_value_pairs);
  }
  void Created(const std::vector<Value>& name_value_pairs) const {
    Vars(Var_Created, name_value_pairs);
  }
  void Created(std::initializer_list<VarItem> name_value_pairs) const {
    Vars(Var_Created, name_value_pairs);
  }
  void ReturnedByRef(std::initializer_list<VarItem> name_value_pairs) const {
    Vars(Var_ReturnedByRef, name_value_pairs);
  }
  // The function's result (single-element form).
  void Result(const Value& v) const { ProcVarList(id_, Var_FunctionReturn, &v, 1); }

  void Log(std::u16string_view msg, std::int32_t type = Event_Normal, std::u16string_view vars = {},
           const Value& expected_rt = {}, const Value& expected_api = {}) const {
    dLog(id_, msg, type, vars, expected_rt, expected_api);
  }
  // Right after a failing platform call; returns its last error (0: nothing was logged).
  std::int32_t LogAPI(std::u16string_view api, std::u16string_view vars = {},
                      const Value& expected_api = {}) const {
    return dLogAPI(id_, api, vars, expected_api);
  }
  // LogAPI for a platform call that reports failure; one that failed without setting an error
  // code still leaves a note.
  void LogFailedCall(std::u16string_view api, std::u16string_view vars = {}) const {
    if (LogAPI(api, vars) == 0)
      Log(std::u16string(api) + u" failed without a system error code.", Event_Normal, vars);
  }
  // The procedure's error handler; returns the last system error, else the run-time error number.
  std::int32_t LogErrHandler(std::u16string_view msg, std::u16string_view vars = {},
                             const Value& expected_rt = {}, const Value& expected_api = {}) const {
    return dLogErrHandler(id_, msg, vars, expected_rt, expected_api);
  }

  // Runs one step. Returns true when it completed, false when it failed and was logged.
  // platform::ProcessExit is not a failure: it passes through, as the end of the process does.
  template <class F>
  bool Step(F&& step, std::u16string_view what = {}) const {
    try {
      std::forward<F>(step)();
      return true;
    } catch (const RuntimeErrorException& e) {
      Fail(e.error, what);
    } catch (const platform::ProcessorFault& f) {
      FailFault(f, what);
    } catch (const std::bad_alloc&) {
      FailOutOfMemory(what);
    } catch (const std::exception& e) {
      FailStd(e, what);
    }
    return false;
  }

 private:
  void Fail(const RuntimeError& err, std::u16string_view what) const;
  void FailFault(const platform::ProcessorFault& f, std::u16string_view what) const;
  void FailOutOfMemory(std::u16string_view what) const;
  void FailStd(const std::exception& e, std::u16string_view what) const;

  std::int32_t id_;
};

}  // namespace kes::debug
