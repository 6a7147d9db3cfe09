// Replays fuzz inputs without libFuzzer: each argument is a file, or a folder
// whose files are all fed, one call of LLVMFuzzerTestOneInput per file. Lets
// the checked-in corpus run as a test under any compiler.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int ReplayFile(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "replay: cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> data;
    int c;
    while ((c = getc(f)) != EOF)
        data.push_back((uint8_t)c);
    fclose(f);
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return 0;
}

int main(int argc, char **argv)
{
    int failures = 0, files = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "replay: no such input %s\n", argv[i]);
            failures++;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            failures += ReplayFile(argv[i]);
            files++;
            continue;
        }
        DIR *dir = opendir(argv[i]);
        while (struct dirent *e = dir ? readdir(dir) : nullptr) {
            std::string path = std::string(argv[i]) + "/" + e->d_name;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                failures += ReplayFile(path);
                files++;
            }
        }
        if (dir)
            closedir(dir);
    }
    printf("replayed %d inputs\n", files);
    return failures || files == 0 ? 1 : 0;
}
