#include "shell/Startup.h"
#include "shell/WidgetPrompt.h"

int main(int argc, char *argv[])
{
    TWidgetPrompt prompt;
    return RunBookkeep(argc, argv, prompt);
}
