// cmd and PowerShell leave wildcards to the program: MinGW-w64's start-up
// code expands * and ? in the arguments (for wmain too) when this is set, as
// Windows programs built with setargv do. A pattern that matches nothing is
// passed on as it is.
extern "C" {
int _dowildcard = -1;
}
