// The resources built into skelbrook.exe (skelbrook.rc): the program's icon and the rows' pictures.
#pragma once

#define kProgramIcon 1
// The rows' pictures: kRowIconResource + the RowIcon's number, in the order of kRowIcons.
#define kRowIconResource 100
