#pragma once

namespace zun {

// Thrown by the controller's progress report once a stop was asked; every step catches it and
// ends with the user-interrupt code.
struct ExitRequested {};

// Result code of a step that the user interrupted.
constexpr int kUserInterrupt = -100;

}  // namespace zun
