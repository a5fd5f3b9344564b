// The one simulated Windows machine of a process renders every job of `lbl serve`: whoever installs a
// printer on it, runs a job or reads a model through it holds this lock for the whole of it.
#pragma once

#include <mutex>

namespace lblipp {

std::mutex& MachineMutex();

}  // namespace lblipp
