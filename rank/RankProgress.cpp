#include "rank/RankProgress.h"

std::mutex g_hProgressLock;
