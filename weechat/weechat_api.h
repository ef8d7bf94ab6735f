// WeeChat's plug-in API: its calls are macros over the plug-in's handle,
// which plugin.cpp receives at load time. Every file that calls WeeChat
// includes this after <weechat/weechat-plugin.h>.
#pragma once

#include <weechat/weechat-plugin.h>

extern struct t_weechat_plugin* weechat_plugin;
