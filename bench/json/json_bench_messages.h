#pragma once
// Server-message shapes of three sizes, with Chinese text, as UTF-8.
#include <cstddef>
#include <string>

// A message of about `approximate_size` bytes: the envelope plus a cart.
std::string MakeMessage(size_t approximate_size);
