#pragma once

// The event database as the rest of the program uses it: the store layer's classes, one a
// file, and what a failure or a backup copy is called.

#include "engine/backupfiles.h"
#include "engine/database.h"
#include "engine/dateliterals.h"
#include "engine/dbengine.h"
#include "engine/field.h"
#include "engine/recordset.h"
#include "engine/statement.h"
#include "engine/storeerrors.h"
#include "engine/transaction.h"
