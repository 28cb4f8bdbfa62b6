// Runs the idle publisher on the main thread; its exit code is the thread's.
#include "idle_publisher.h"

int main()
{
    return static_cast<int>(idle_publisher_thread(nullptr));
}
