#include "test_seams.h"

#include "guarded_files.h"
#include "owner_seam.h"
#include "platform_seams.h"

void apply_test_seams()
{
    hide_firmware_table_when_asked();
    read_file_owner = made_up_or_read_owner;
}
