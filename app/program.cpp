// The program's start-up: everything it does before its message loop that is
// not the window system's.
#include "app/program.h"

#include "fractal/frame/frame.h"

namespace zqv {

void start_program()
{
    set_max_iterations(program_iteration_cap);
}

}  // namespace zqv
