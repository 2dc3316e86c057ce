// Times two commands in pairs, alternating, each run a whole process with its
// output discarded, and prints the median of each and the median ratio:
//   pairbench RUNS A [ARGS...] -- B [ARGS...]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double RunOnce(const std::vector<char*>& argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        std::fprintf(stderr, "pairbench: %s did not run\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> a, b;
    auto* into = &a;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0 && into == &a) into = &b;
        else into->push_back(argv[i]);
    }
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (runs < 1 || a.empty() || b.empty()) {
        std::fprintf(stderr, "usage: pairbench RUNS A [ARGS...] -- B [ARGS...]\n");
        return 64;
    }
    a.push_back(nullptr);
    b.push_back(nullptr);
    for (int i = 0; i < 20; ++i) RunOnce(a), RunOnce(b);  // warm the caches
    std::vector<double> ta, tb, ratio;
    for (long i = 0; i < runs; ++i) {
        // Alternate which one goes first, so neither always follows the other.
        const bool aFirst = i % 2 == 0;
        const double first = RunOnce(aFirst ? a : b), second = RunOnce(aFirst ? b : a);
        ta.push_back(aFirst ? first : second);
        tb.push_back(aFirst ? second : first);
        ratio.push_back(ta.back() / tb.back());
    }
    std::printf("%-12s median %.3f ms\n", a[0], Median(ta));
    std::printf("%-12s median %.3f ms\n", b[0], Median(tb));
    std::printf("ratio, median of %ld pairs: %.2f\n", runs, Median(ratio));
    return 0;
}
