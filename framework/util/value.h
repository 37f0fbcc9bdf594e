// Value: the system's tagged value. Registry data, defaults and the name/value lists handed to
// the tracing calls are Values. The tag numbers are the classic variant type numbers, so a
// type that the describer does not know can still be named by its number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kes {

enum class VarType : int {
  Empty = 0,
  Null = 1,
  Integer = 2,  // 16-bit
  Long = 3,     // 32-bit
  Single = 4,
  Double = 5,
  Currency = 6,
  Date = 7,
  String = 8,
  Object = 9,
  Error = 10,
  Boolean = 11,
  Variant = 12,
  DataObject = 13,
  Byte = 17,
  LongLong = 20,  // 64-bit
  UDT = 36,
  Array = 0x2000,  // or-ed with the element type
};

// Fixed-point money with four decimals, stored scaled by 10000.
struct Currency {
  std::int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};

// A date-time as days since 1899-12-30 with the time of day as fraction.
struct Date {
  double serial = 0;
  bool operator==(const Date&) const = default;
};

// A reference to an object, described by its class name.
struct ObjectRef {
  std::u16string class_name;
  bool data_access = false;  // a data-access object rather than a plain one
  bool operator==(const ObjectRef&) const = default;
};

struct ErrorValue {
  std::int32_t code = 0;
  bool operator==(const ErrorValue&) const = default;
};

// A user-defined record: nothing of it is shown but its kind.
struct Record {
  bool operator==(const Record&) const = default;
};

class Value;
struct Array {
  VarType element = VarType::Variant;
  std::vector<Value> items;
  bool operator==(const Array&) const;
};

class Value {
 public:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  using Storage = std::variant<std::monostate, NullTag, std::int16_t, std::int32_t, std::int64_t,
                               float, double, Currency, Date, std::u16string, ObjectRef, ErrorValue,
                               bool, std::uint8_t, Record, std::shared_ptr<Array>>;

  Value() = default;
  Value(std::int16_t v) : data_(v) {}
  Value(std::int32_t v) : data_(v) {}
  Value(std::int64_t v) : data_(v) {}
  Value(std::uint32_t v) : data_(static_cast<std::int64_t>(v)) {}
  Value(float v) : data_(v) {}
  Value(double v) : data_(v) {}
  Value(Currency v) : data_(v) {}
  Value(Date v) : data_(v) {}
  Value(std::u16string v) : data_(std::move(v)) {}
  Value(std::u16string_view v) : data_(std::u16string(v)) {}
  Value(const char16_t* v) : data_(std::u16string(v)) {}
  Value(ObjectRef v) : data_(std::move(v)) {}
  Value(ErrorValue v) : data_(v) {}
  Value(bool v) : data_(v) {}
  Value(std::uint8_t v) : data_(v) {}
  Value(Record v) : data_(v) {}
  Value(Array v) : data_(std::make_shared<Array>(std::move(v))) {}

  static Value Null() {
    Value v;
    v.data_ = NullTag{};
    return v;
  }

  VarType type() const {
    switch (data_.index()) {
      case 0:
        return VarType::Empty;
      case 1:
        return VarType::Null;
      case 2:
        return VarType::Integer;
      case 3:
        return VarType::Long;
      case 4:
        return VarType::LongLong;
      case 5:
        return VarType::Single;
      case 6:
        return VarType::Double;
      case 7:
        return VarType::Currency;
      case 8:
        return VarType::Date;
      case 9:
        return VarType::String;
      case 10:
        return std::get<ObjectRef>(data_).data_access ? VarType::DataObject : VarType::Object;
      case 11:
        return VarType::Error;
      case 12:
        return VarType::Boolean;
      case 13:
        return VarType::Byte;
      case 14:
        return VarType::UDT;
      default:
        return static_cast<VarType>(
            static_cast<int>(VarType::Array) |
            static_cast<int>(std::get<std::shared_ptr<Array>>(data_)->element));
    }
  }

  bool is_empty() const { return data_.index() == 0; }
  bool is_null() const { return data_.index() == 1; }
  bool is_array() const { return data_.index() == 15; }
  template <class T>
  const T* get_if() const {
    return std::get_if<T>(&data_);
  }
  const Array* array() const {
    auto p = std::get_if<std::shared_ptr<Array>>(&data_);
    return p ? p->get() : nullptr;
  }
  const Storage& storage() const { return data_; }

  bool operator==(const Value& other) const {
    if (is_array() && other.is_array()) return *array() == *other.array();
    return data_ == other.data_;
  }

 private:
  Storage data_;
};

inline bool Array::operator==(const Array& o) const {
  return element == o.element && items == o.items;
}

}  // namespace kes
