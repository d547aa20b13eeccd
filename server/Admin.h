// voidrunner-server admin: the operator's command, on the database the
// servers use (--db), while they run or not.
#pragma once

// argv: what follows "admin" on the command line. Returns the exit status:
// 0 done, 1 it could not be done, 2 a command line it does not take.
int adminMain(int argc, char** argv);
