// zf-fuzz-seeds DIR: writes the builder's sample movies into DIR as a seed
// corpus for the fuzz targets.
#include "sample_movies.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zf-fuzz-seeds DIR\n");
        return 2;
    }
    std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "zf-fuzz-seeds: %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    int count = 0;
    for (const zf::test::SampleMovie& movie : zf::test::sampleMovies()) {
        std::ofstream out(dir / movie.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(movie.bytes.data()),
                  std::streamsize(movie.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "zf-fuzz-seeds: cannot write %s\n", movie.name.c_str());
            return 1;
        }
        ++count;
    }
    std::printf("%d seeds in %s\n", count, argv[1]);
    return 0;
}
