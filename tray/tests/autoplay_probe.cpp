// Applies the autoplay policy of the Windows version Wine reports to this
// program and exits with the version class.
#include "autoplay.h"

int main()
{
    int version_class = classify_windows_version();
    apply_autoplay_policy(version_class);
    return version_class;
}
