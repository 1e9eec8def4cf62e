// A simulated host: a directory laid out like the root of a machine on which
// the product is installed, entered through private mount and UTS namespaces
// and chroot.  The product keeps fixed absolute paths, so this is how tests
// and demos run the installed program without touching the real machine.
#pragma once

#include "hostsim/create.h"
#include "hostsim/enter.h"
#include "hostsim/remove.h"
#include "hostsim/pty_session.h"
#include "hostsim/run.h"
