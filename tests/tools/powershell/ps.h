// The powershell.exe stand-in for tests under Wine: a line-oriented
// interpreter of the small subset of Windows PowerShell 5.1 that the payload
// scripts and the test scripts are written in. Anything else is refused
// loudly, so a script that leaves the subset fails its test. Texts are UTF-8
// inside, so that paths of any script (an install folder named in Polish or
// Chinese) reach the file calls whole, as they do in the real PowerShell.
#pragma once
#include <windows.h>

enum { T_WORD, T_SQ, T_DQ, T_VAR, T_LPAREN, T_RPAREN, T_LBRACE, T_RBRACE, T_PIPE, T_AMP };
enum { V_NULL, V_STR, V_INT };
enum { MAX_TOKENS = 64, TEXT_CAP = 4096 };

// A token is a slice of its line: for strings the inside without the quotes,
// for variables the name without the "$" ("env:NAME" included).
struct Token
{
    int kind;
    const char *p;
    int n;
};

// A script value: $null, a string, or an integer (also the booleans of conditions).
struct Value
{
    int kind;
    long long num;
    char text[TEXT_CAP];
};

// A cmdlet parameter: its full name, whether a value follows it, and what the line gave.
struct Param
{
    const char *name;
    int takes_value;
    int set;
    const Token *value;
};

// main.cpp: output and the two kinds of failure.
extern const char *s_line; // the line being run, for messages
extern int s_code;         // the exit code once the script stops
// Writes n bytes to standard output, or to standard error with err set.
void put(const char *p, int n, int err);
// Writes a NUL-terminated text to standard output or error.
void put_text(const char *s, int err);
// Reports the current line as outside the subset; sets exit code 1 and returns 0.
int unsupported(void);
// Reports a failed command as PowerShell's non-terminating errors are reported; returns 1 to go
// on, or 0 (exit code 1) when $ErrorActionPreference is 'Stop'.
int cmd_error(const char *what, const char *detail);

// token.cpp: tokens, values and variables.
// Cuts a line into at most MAX_TOKENS tokens, stopping at a comment; 0 when it leaves the subset.
int tokenize(const char *line, Token *t, int *count);
// 1 when the token is the bareword w, compared without regard to case.
int is_word(const Token *t, const char *w);
// The value a string, variable or bareword token stands for; 0 (reported) when it has none.
int eval(const Token *t, Value *v);
// 1 when the n bytes at p are an optionally signed decimal integer, its value in *num.
int parse_int(const char *p, int n, long long *num);
// Sets v to a string.
void set_str(Value *v, const char *s, int n);
// Sets v to an integer.
void set_int(Value *v, long long num);
// The value as text: "" for $null, digits for integers.
void value_text(const Value *v, char *out, int cap);
// 1 when the value is true as a condition: non-null, non-zero, non-empty.
int truthy(const Value *v);
// Reads a variable: $null, $env:NAME from the environment, else the script's own ($null when unset).
void get_var(const char *name, int n, Value *v);
// Sets a variable ($env:NAME into the environment); 0 when the table is full or the name is too long.
int set_var(const char *name, int n, const Value *v);
// Converts text to a wide MAX_PATH buffer; 0 when it does not fit.
int widen(const char *s, wchar_t *out, int cap);

// cmdlets.cpp
// Runs a cmdlet line (t[0] names it); quiet when it ends in "| Out-Null". 0 when the script stops.
int run_cmdlet(const Token *t, int n, int quiet);
// 1 when t names one of the cmdlets the stand-in knows.
int known_cmdlet(const Token *t);
// Test-Path with its arguments; v becomes 1 or 0.
int test_path(const Token *t, int n, Value *v);
// Get-Content with its arguments, for an assignment.
int get_content(const Token *t, int n, Value *v);
// Binds t[0..n) to the named parameters of p (full names, any case) and the
// rest, in order, to the positional ones listed in pos; 0 (reported) for an
// unknown or repeated parameter, a missing value or a positional too many.
int bind(const Token *t, int n, Param *p, int np, const int *pos, int npos);
// Binds a value token to a path for the file functions; 0 (reported) for none or a wildcard.
int path_of(const Token *t, wchar_t *out);

// proc.cpp
// "& program args": runs it with our standard handles, waits, sets $LASTEXITCODE.
int call_program(const Token *t, int n);
// Start-Process -NoNewWindow: starts it with our standard handles and returns at once.
int start_process(const Token *t, int n);

// script.cpp
// Loads, checks and runs the script; its exit code.
int run_script(const wchar_t *path);
