#pragma once
/* The stub's own resource: the engine it carries, RCDATA with this id. Read
   by the stub's code and by the resource script that embeds the engine, so
   it stays a plain macro that the resource compiler understands. */
#define STUB_ENGINE_RESOURCE 201
/* The icon group the shell shows for setup.exe. */
#define STUB_ICON_RESOURCE 1
