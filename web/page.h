#pragma once

struct Program;

// The page's one program, for the functions the page exports besides its loop.
Program& pageProgram();
