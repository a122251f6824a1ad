#ifndef VORLIX_AGENT_H
#define VORLIX_AGENT_H

// vorlix-watch: the session agent that starts vorlix for each removable
// volume that gets mounted. Returns the exit status when it cannot go on;
// otherwise it runs until a signal ends it.
//
// Exit statuses (sysexits): 0 --help and --version; 64 an unknown
// argument; 69 the mount table cannot be watched or read; 71 ended
// children cannot be heard of; 73 no safe place for the session's lock;
// 75 another agent already runs for this user and display; 78
// VORLIX_WATCH_DEVICES is not a valid extended regular expression.
int run_agent(int argc, char **argv);

#endif
