// Loading NumPy's array API on demand.
#pragma once

namespace kestova::python {

// Makes NumPy's array API usable, importing NumPy on the first call; false with a Python
// exception set ("Failed to access NumPy array API capsule") when it cannot be loaded.
bool ensure_numpy_api();

}  // namespace kestova::python
