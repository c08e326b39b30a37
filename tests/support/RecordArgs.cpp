// A companion application for tests: writes its arguments, one a line, to
// "<its own path>.out", replacing the file whole once it is complete, and
// the folder it started in to "<its own path>.cwd".

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char **argv)
{
    const std::string out = std::string(argv[0]) + ".out";
    const std::string partial = out + ".partial";
    std::ofstream(std::string(argv[0]) + ".cwd", std::ios::trunc) << std::filesystem::current_path().string() << '\n';
    {
        std::ofstream file(partial, std::ios::trunc);
        for (int i = 1; i < argc; ++i)
            file << argv[i] << '\n';
    }
    return std::rename(partial.c_str(), out.c_str()) == 0 ? 0 : 1;
}
