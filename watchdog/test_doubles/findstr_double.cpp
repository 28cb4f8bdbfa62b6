// Stands in for findstr, whose Wine version always exits 0: "findstr WORD"
// copies the lines of standard input that contain WORD (case-sensitive) and
// exits 0 when there was one, else 1.
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    char line[4096];
    int found = 0;
    while (fgets(line, sizeof line, stdin)) {
        if (strstr(line, argv[1])) {
            fputs(line, stdout);
            found = 1;
        }
    }
    return found ? 0 : 1;
}
