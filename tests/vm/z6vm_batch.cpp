/*
** z6vm_batch: runs many z6vm command lines in one process, so that the VM's
** script tests start the sanitizer build once, not once per case (its start
** and its leak check at exit cost far more than a short case).
**
**   z6vm_batch DIR JOB [--next JOB]...
**   JOB: NAME [--stdin FILE] Z6VM-ARGUMENTS...
**
** Each job calls the runner's own main with standard input from FILE (or
** /dev/null) and standard output and error in DIR/NAME.out and DIR/NAME.err;
** DIR/NAME.status holds the status it returned. A job gets 60 seconds, so
** that a program that hangs ends the batch instead of stalling the suite; a
** job that crashes ends it too, its report in its .err file. Leaks of any job
** are found at the batch's own exit. Exits 0 when every job ran (whatever its
** status), 2 on bad usage or when a job's files could not be opened.
*/
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/vull.h"

#include "z6vm.h"

namespace {

constexpr unsigned kJobSeconds = 60;

struct Job {
    std::string name;
    const char *stdin_path = "/dev/null";
    std::vector<char *> args; /* argv for the runner, program name first */
};

[[noreturn]] void usage(const char *msg) {
    std::fprintf(stderr,
                 "z6vm_batch: %s\nusage: z6vm_batch DIR NAME [--stdin FILE] ARGS... "
                 "[--next NAME [--stdin FILE] ARGS...]...\n",
                 msg);
    std::exit(2);
}

std::vector<Job> parse_jobs(int argc, char **argv) {
    static char program[] = "z6vm";
    std::vector<Job> jobs;
    int i = 2;
    while (i < argc) {
        Job job;
        job.name = argv[i++];
        if (job.name.empty() || job.name.find('/') != std::string::npos || job.name == "--next")
            usage("a job needs a plain name");
        if (i + 1 < argc && std::strcmp(argv[i], "--stdin") == 0) {
            job.stdin_path = argv[i + 1];
            i += 2;
        }
        job.args.push_back(program);
        while (i < argc && std::strcmp(argv[i], "--next") != 0) job.args.push_back(argv[i++]);
        job.args.push_back(nullptr);
        jobs.push_back(std::move(job));
        if (i < argc && ++i == argc) usage("--next ends the list");
    }
    if (jobs.empty()) usage("no job");
    return jobs;
}

bool redirect(const char *path, int flags, int fd) {
    int f = open(path, flags, 0644);
    if (f < 0) return false;
    bool ok = dup2(f, fd) >= 0;
    close(f);
    return ok;
}

bool write_status(const std::string &path, int status) {
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = std::fprintf(f, "%d\n", status) > 0;
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    vull_engine_attach();
    if (argc < 3) usage("no job");
    std::string dir = argv[1];
    std::vector<Job> jobs = parse_jobs(argc, argv);
    const int saved[3] = {dup(0), dup(1), dup(2)};
    if (saved[0] < 0 || saved[1] < 0 || saved[2] < 0) {
        std::perror("z6vm_batch: dup");
        return 2;
    }
    for (Job &job : jobs) {
        std::string base = dir + "/" + job.name;
        constexpr int out_flags = O_WRONLY | O_CREAT | O_TRUNC;
        std::fflush(nullptr);
        if (!redirect(job.stdin_path, O_RDONLY, 0) ||
            !redirect((base + ".out").c_str(), out_flags, 1) ||
            !redirect((base + ".err").c_str(), out_flags, 2)) {
            dup2(saved[2], 2);
            std::fprintf(stderr, "z6vm_batch: cannot open the files of %s\n", job.name.c_str());
            return 2;
        }
        std::clearerr(stdin); /* the last job may have read to the end */
        alarm(kJobSeconds);
        int status = z6vm_main(static_cast<int>(job.args.size()) - 1, job.args.data());
        alarm(0);
        std::fflush(nullptr);
        for (int fd = 0; fd < 3; fd++) dup2(saved[fd], fd);
        if (!write_status(base + ".status", status)) {
            std::fprintf(stderr, "z6vm_batch: cannot write the status of %s\n", job.name.c_str());
            return 2;
        }
    }
    return 0;
}
