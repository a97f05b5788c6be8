#pragma once
// The outcome of a platform call.
//
// Many of the program's procedures skip a step that fails and go on with
// the next one. Platform calls therefore return a status, or an optional
// value, that the caller may look at or ignore; nothing is thrown.

#include <cstdint>

namespace snapwick {

enum class Status : std::uint8_t { Ok, Failed };

constexpr bool Succeeded(Status s) { return s == Status::Ok; }
constexpr Status StatusOf(bool ok) { return ok ? Status::Ok : Status::Failed; }

}  // namespace snapwick
