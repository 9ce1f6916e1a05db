#pragma once
// The file and error-text part of the seam on POSIX systems. The user
// interface entries (message boxes, file dialogs, fields) are left null: a
// front end copies this table and fills them in.

#include "Platform.h"

ttPlatform PosixPlatform();
