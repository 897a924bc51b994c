// The VM runner's command line as a function, so that a test driver can run
// many command lines in one process instead of starting the sanitizer build
// of z6vm once per case.
#pragma once

// Runs one z6vm command line (argv[0] is the program name) on the process's
// standard streams and returns its exit status. Everything it creates is
// freed when it returns.
int z6vm_main(int argc, char **argv);
