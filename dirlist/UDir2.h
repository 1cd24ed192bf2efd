// UDir2: the listing of one directory (names matching a mask and an
// attribute filter, with a record of each entry), the attribute masks that
// select plain files and directories, and the file-selection screen.
#pragma once

#include "directory.h"
#include "selectfiles.h"
