// Runs the idle publisher on the main thread; its exit code is the thread's.
#include "idle_publisher.h"
#include "test_seams.h"

int main()
{
    apply_test_seams();
    return static_cast<int>(idle_publisher_thread(nullptr));
}
