// Stands in for wget in the board_download fuzz entry, which names it "wget"
// in a PATH of its own: it writes the reply the entry prepared to the file
// after "-O", as a board would send it, and never touches the network.
//   ZIBO6_BOARD_REPLY  the reply file; taken (removed) by the first fetch, so a
//                      fetch the reply starts in turn finds none and fails
//   ZIBO6_BOARD_HOLD   while this file exists, the connection stays open once
//                      the reply is written: the stub writes its pid to
//                      ZIBO6_BOARD_SENT and waits to be ended (20 s at most)
// Exits 0 when the whole reply was written, 1 otherwise (no reply, or the
// file-size limit the player sets stopped the write).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv) {
    const char *out = nullptr;
    for (int i = 1; i + 1 < argc; i++)
        if (std::strcmp(argv[i], "-O") == 0) out = argv[i + 1];
    const char *reply = std::getenv("ZIBO6_BOARD_REPLY");
    const char *hold = std::getenv("ZIBO6_BOARD_HOLD");
    const char *sent = std::getenv("ZIBO6_BOARD_SENT");
    if (!out || !reply) return 1;
    FILE *in = std::fopen(reply, "rb");
    if (!in) return 1;
    std::remove(reply);
    // Past the player's limit a write fails instead of ending the stub, so that
    // a held connection still reports what it sent.
    std::signal(SIGXFSZ, SIG_IGN);
    FILE *to = std::fopen(out, "wb");
    bool whole = to != nullptr;
    char chunk[65536];
    size_t n;
    while (whole && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        whole = std::fwrite(chunk, 1, n, to) == n && std::fflush(to) == 0;
    std::fclose(in);
    if (to && std::fclose(to) != 0) whole = false;
    if (hold && sent && access(hold, F_OK) == 0) {
        const std::string pid = std::to_string(getpid());
        const std::string part = std::string(sent) + ".tmp";
        if (FILE *f = std::fopen(part.c_str(), "wb")) {
            std::fputs(pid.c_str(), f);
            std::fclose(f);
            std::rename(part.c_str(), sent);
        }
        for (int i = 0; i < 200; i++) usleep(100000);
    }
    return whole ? 0 : 1;
}
