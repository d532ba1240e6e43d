#pragma once

#include "arguments.h"

class FileOps;

// tallyleaf-tool sync: the day file and a CalDAV calendar brought into step. The exit status.
int syncThings(FileOps &ops, const Command &command, const QString &dayFilePath);
