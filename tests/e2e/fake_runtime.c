/* A stand-in for a Windows Installer runtime installer, for the end-to-end
 * tests, built for both architectures. Run N appends one line to
 * C:\vesk-runtime\runs.txt, "<its own path>|<the folder it started in>|<its
 * temporary folder>|<its command line>", and ends
 * with the exit code on line N of C:\vesk-runtime\codes.txt (the last line
 * for every later run; 0 without the file). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#define RUNS_FILE "C:\\vesk-runtime\\runs.txt"
#define CODES_FILE "C:\\vesk-runtime\\codes.txt"

static int count_runs(void)
{
    char line[4096];
    int runs = 0;
    FILE *log = fopen(RUNS_FILE, "r");
    if (!log)
        return 0;
    while (fgets(line, sizeof line, log))
        ++runs;
    fclose(log);
    return runs;
}

static unsigned long exit_code_for(int run)
{
    char line[64];
    unsigned long code = 0;
    int seen = 0;
    FILE *codes = fopen(CODES_FILE, "r");
    if (!codes)
        return 0;
    while (seen < run && fgets(line, sizeof line, codes)) {
        code = strtoul(line, NULL, 10);
        ++seen;
    }
    fclose(codes);
    return code;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char self[MAX_PATH];
    char folder[MAX_PATH];
    char temp[MAX_PATH];
    int run = count_runs() + 1;
    FILE *log = fopen(RUNS_FILE, "a");
    (void)instance;
    (void)previous;
    (void)show;
    GetModuleFileNameA(NULL, self, sizeof self);
    if (!GetCurrentDirectoryA(sizeof folder, folder))
        folder[0] = 0;
    if (!GetTempPathA(sizeof temp, temp))
        temp[0] = 0;
    if (log) {
        fprintf(log, "%s|%s|%s|%s\n", self, folder, temp, commandLine);
        fclose(log);
    }
    return (int)exit_code_for(run);
}
