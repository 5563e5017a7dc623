/* Opens a file through the shell with a verb, as Explorer does on a double click ("open") or
   from a file's context menu, and waits for the program the shell started:
   shell_verb VERB FILE. Exit status 0 when the shell found the verb and the program ran. */
#include <windows.h>

#include <shellapi.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    SHELLEXECUTEINFOA info = {0};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = argv[1];
    info.lpFile = argv[2];
    info.nShow = SW_HIDE;
    if (!ShellExecuteExA(&info)) {
        return 1;
    }
    if (info.hProcess != NULL) {
        WaitForSingleObject(info.hProcess, 60000);
        CloseHandle(info.hProcess);
    }
    return 0;
}
