// vantorlancfg: the LAN configuration agent.
#include "agent.h"

int main(int argc, char** argv) {
    return AgentMain(argc, argv);
}
