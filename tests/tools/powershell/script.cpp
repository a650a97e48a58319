// Loading, checking and running a script: lines, blocks, if / elseif / else,
// foreach over a range, assignments and exit. Like PowerShell, which parses a
// whole script before it runs any of it, the form of every line (its tokens,
// how its statement starts, the blocks) is checked first, so such a line fails
// the script even in a branch not taken; parameters, pipelines and values are
// judged when the line runs, as PowerShell binds them.
#include "ps.h"
#include <string.h>

enum { MAX_LINES = 4096, MAX_SCRIPT = 1 << 20 };
enum { SH_OPEN = 1, SH_CLOSE = 2 };

static char *s_lines[MAX_LINES];
static unsigned char s_shape[MAX_LINES];
static int s_nlines;

static int run_lines(int first, int last);

// The line without its leading blanks, for messages.
static const char *trimmed(const char *line)
{
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

// Index of the ")" closing the "(" at t[at], or -1.
static int paren_end(const Token *t, int n, int at)
{
    int depth = 0;
    for (int i = at; i < n; i++)
    {
        if (t[i].kind == T_LPAREN)
            depth++;
        else if (t[i].kind == T_RPAREN && --depth == 0)
            return i;
    }
    return -1;
}

// 1 when the statement's first token is one the subset knows.
static int known_start(const Token *t, int n)
{
    if (n == 0)
        return 0;
    if (t[0].kind == T_VAR)
        return n >= 3 && is_word(&t[1], "=");
    return t[0].kind == T_AMP || is_word(&t[0], "exit") || known_cmdlet(&t[0]);
}

// 1 when t[0..n) is "if ( ... ) {" or "if ( ... ) { statement }".
static int if_form(const Token *t, int n)
{
    int close = n > 1 && t[1].kind == T_LPAREN ? paren_end(t, n, 1) : -1;
    if (close < 3 || close + 1 >= n || t[close + 1].kind != T_LBRACE)
        return 0;
    if (close + 2 == n)
        return 1;
    return t[n - 1].kind == T_RBRACE && known_start(t + close + 2, n - close - 3);
}

// 1 when t[0..n) is "foreach ( $v in A..B ) {".
static int foreach_form(const Token *t, int n)
{
    return n == 7 && t[1].kind == T_LPAREN && t[2].kind == T_VAR && is_word(&t[3], "in") &&
           t[4].kind == T_WORD && t[5].kind == T_RPAREN && t[6].kind == T_LBRACE;
}

// Checks one tokenized line and gives its block shape; 0 when it leaves the subset.
static int check_line(const Token *t, int n, unsigned char *shape)
{
    *shape = 0;
    if (n == 0)
        return 1;
    if (t[0].kind == T_RBRACE)
    {
        // "}", "} else {" or "} elseif ( ... ) {"
        *shape = SH_CLOSE;
        if (n == 1)
            return 1;
        *shape |= SH_OPEN;
        if (n == 3 && is_word(&t[1], "else") && t[2].kind == T_LBRACE)
            return 1;
        return is_word(&t[1], "elseif") && if_form(t + 1, n - 1) && t[n - 1].kind == T_LBRACE;
    }
    if (is_word(&t[0], "if"))
    {
        *shape = t[n - 1].kind == T_LBRACE ? SH_OPEN : 0;
        return if_form(t, n);
    }
    if (is_word(&t[0], "foreach"))
    {
        *shape = SH_OPEN;
        return foreach_form(t, n);
    }
    return known_start(t, n);
}

// Cuts the text into lines at CR LF, LF or CR and checks each; 0 (reported) on the first bad one.
static int split_and_check(char *text)
{
    int depth = 0;
    s_nlines = 0;
    for (char *p = text; *p;)
    {
        if (s_nlines == MAX_LINES)
        {
            s_line = "(more lines than the stand-in holds)";
            return unsupported();
        }
        char *end = p + strcspn(p, "\r\n");
        char *next = end;
        if (*next == '\r')
            next++;
        if (*next == '\n')
            next++;
        *end = 0;
        s_lines[s_nlines] = p;
        s_line = trimmed(p);
        Token t[MAX_TOKENS];
        int n = 0;
        if (!tokenize(p, t, &n) || !check_line(t, n, &s_shape[s_nlines]))
            return unsupported();
        if (s_shape[s_nlines] & SH_CLOSE)
            depth--;
        if (depth < 0)
            return unsupported();
        if (s_shape[s_nlines] & SH_OPEN)
            depth++;
        s_nlines++;
        p = next;
    }
    if (depth != 0)
    {
        s_line = "(a block is not closed)";
        return unsupported();
    }
    return 1;
}

// The line closing the block opened on line i.
static int block_end(int i)
{
    int depth = 1;
    for (int j = i + 1; j < s_nlines; j++)
    {
        if (s_shape[j] & SH_CLOSE)
            depth--;
        if (depth == 0)
            return j;
        if (s_shape[j] & SH_OPEN)
            depth++;
    }
    return s_nlines; // unreachable: the check balanced every block
}

static int eval_expr(const Token *t, int n, Value *v);

// unary := -not unary | ( expr ) | value
static int eval_unary(const Token *t, int n, Value *v)
{
    if (n >= 2 && is_word(&t[0], "-not"))
    {
        if (!eval_unary(t + 1, n - 1, v))
            return 0;
        set_int(v, !truthy(v));
        return 1;
    }
    if (n >= 2 && t[0].kind == T_LPAREN && paren_end(t, n, 0) == n - 1)
        return eval_expr(t + 1, n - 2, v);
    if (n == 1)
        return eval(t, v);
    return unsupported();
}

// a -eq b as PowerShell compares: the left side's type decides, so a number
// takes the right side as a number ("05" equals 5) and a string takes it as
// text, without regard to case. -1 for a number against text that is no
// integer, which PowerShell would try to convert in ways not ours.
static int equal(const Value *a, const Value *b)
{
    if (a->kind == V_NULL || b->kind == V_NULL)
        return a->kind == b->kind;
    if (a->kind == V_INT)
    {
        long long num = b->num;
        if (b->kind == V_STR && !parse_int(b->text, (int)strlen(b->text), &num))
            return -1;
        return a->num == num;
    }
    char bt[TEXT_CAP];
    value_text(b, bt, TEXT_CAP);
    return lstrcmpiA(a->text, bt) == 0;
}

// expr := Test-Path args | unary [ (-eq | -ne) unary ]
static int eval_expr(const Token *t, int n, Value *v)
{
    if (n >= 1 && is_word(&t[0], "Test-Path"))
        return test_path(t + 1, n - 1, v);
    int depth = 0;
    for (int k = 0; k < n; k++)
    {
        if (t[k].kind == T_LPAREN)
            depth++;
        else if (t[k].kind == T_RPAREN)
            depth--;
        else if (depth == 0 && (is_word(&t[k], "-eq") || is_word(&t[k], "-ne")))
        {
            Value b;
            if (!eval_unary(t, k, v) || !eval_unary(t + k + 1, n - k - 1, &b))
                return 0;
            int same = equal(v, &b);
            if (same < 0)
                return unsupported();
            set_int(v, is_word(&t[k], "-eq") ? same : !same);
            return 1;
        }
    }
    return eval_unary(t, n, v);
}

// The condition in the parentheses of "if" or "elseif" starting at t[at]; 0 when the script stops.
static int condition(const Token *t, int n, int at, int *truth)
{
    Value v;
    int close = paren_end(t, n, at);
    if (!eval_expr(t + at + 1, close - at - 1, &v))
        return 0;
    *truth = truthy(&v);
    return 1;
}

// $name = value | $name = Get-Content ...
static int run_assign(const Token *t, int n)
{
    Value v;
    if (is_word(&t[2], "Get-Content"))
    {
        if (!get_content(t + 3, n - 3, &v))
            return 0;
    }
    else if (n != 3 || !eval(&t[2], &v))
        return s_code ? 0 : unsupported();
    return set_var(t[0].p, t[0].n, &v) ? 1 : unsupported();
}

// exit [code]: stops the script with that code (0 without one).
static int run_exit(const Token *t, int n)
{
    Value v;
    if (n > 1)
        return unsupported();
    if (n == 0)
    {
        s_code = 0;
        return 0;
    }
    if (!eval(&t[0], &v))
        return 0;
    if (v.kind == V_NULL)
        v.num = 0;
    else if (v.kind != V_INT)
        return unsupported();
    s_code = (int)v.num;
    return 0;
}

// One statement; 0 when the script stops.
static int run_stmt(const Token *t, int n)
{
    int quiet = 0;
    if (n >= 2 && t[n - 2].kind == T_PIPE && is_word(&t[n - 1], "Out-Null"))
    {
        quiet = 1;
        n -= 2;
    }
    for (int i = 0; i < n; i++)
        if (t[i].kind == T_PIPE || t[i].kind == T_LBRACE || t[i].kind == T_RBRACE)
            return unsupported();
    if (n == 0)
        return unsupported();
    if (t[0].kind == T_VAR)
        return quiet ? unsupported() : run_assign(t, n);
    if (t[0].kind == T_AMP)
        return quiet ? unsupported() : call_program(t + 1, n - 1);
    if (is_word(&t[0], "exit"))
        return run_exit(t + 1, n - 1);
    return run_cmdlet(t, n, quiet);
}

// Tokenizes line i (checked already) and makes it the line of messages.
static void line_tokens(int i, Token *t, int *n)
{
    s_line = trimmed(s_lines[i]);
    *n = 0;
    tokenize(s_lines[i], t, n);
}

// The if / elseif / else chain opening on line i; *next is the line after it.
static int run_if(int i, int *next)
{
    Token t[MAX_TOKENS];
    int n, truth;
    line_tokens(i, t, &n);
    if (!condition(t, n, 1, &truth))
        return 0;
    if (t[n - 1].kind == T_RBRACE)
    {
        // if (...) { statement }
        *next = i + 1;
        int body = paren_end(t, n, 1) + 2;
        return truth ? run_stmt(t + body, n - body - 1) : 1;
    }
    int taken = 0;
    for (;;)
    {
        int end = block_end(i);
        if (truth && !taken)
        {
            taken = 1;
            if (!run_lines(i + 1, end))
                return 0;
        }
        line_tokens(end, t, &n);
        if (n == 1)
        {
            *next = end + 1;
            return 1;
        }
        i = end;
        truth = 0;
        if (is_word(&t[1], "else"))
            truth = 1;
        else if (!taken && !condition(t, n, 2, &truth))
            return 0;
    }
}

// Reads "A..B" with two decimal integers of up to six digits, each maybe negative.
static int parse_range(const Token *t, int *from, int *to)
{
    int values[2] = {0, 0};
    int i = 0;
    for (int k = 0; k < 2; k++)
    {
        int negative = i < t->n && t->p[i] == '-';
        i += negative;
        int digits = 0;
        for (; i < t->n && t->p[i] >= '0' && t->p[i] <= '9' && digits < 6; i++, digits++)
            values[k] = values[k] * 10 + (t->p[i] - '0');
        if (digits == 0)
            return 0;
        if (negative)
            values[k] = -values[k];
        if (k == 0)
        {
            if (i + 2 > t->n || t->p[i] != '.' || t->p[i + 1] != '.')
                return 0;
            i += 2;
        }
    }
    *from = values[0];
    *to = values[1];
    return i == t->n;
}

// foreach ($v in A..B) { ... } with integer bounds, counting up or down.
static int run_foreach(int i, int *next)
{
    Token t[MAX_TOKENS];
    int n;
    line_tokens(i, t, &n);
    int from, to;
    if (!parse_range(&t[4], &from, &to))
        return unsupported();
    int end = block_end(i);
    int step = from <= to ? 1 : -1;
    for (int k = from;; k += step)
    {
        Value v;
        set_int(&v, k);
        if (!set_var(t[2].p, t[2].n, &v))
            return unsupported();
        if (!run_lines(i + 1, end))
            return 0;
        if (k == to)
            break;
    }
    *next = end + 1;
    return 1;
}

// Runs lines [first, last); 0 when the script stops (exit or error).
static int run_lines(int first, int last)
{
    for (int i = first; i < last;)
    {
        Token t[MAX_TOKENS];
        int n;
        line_tokens(i, t, &n);
        if (n == 0)
            i++;
        else if (is_word(&t[0], "if"))
        {
            if (!run_if(i, &i))
                return 0;
        }
        else if (is_word(&t[0], "foreach"))
        {
            if (!run_foreach(i, &i))
                return 0;
        }
        else if (!run_stmt(t, n))
            return 0;
        else
            i++;
    }
    return 1;
}

// Reads the script into a heap buffer of its own (freed by the caller); NULL (reported) when it cannot.
static char *load(const wchar_t *path)
{
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
    {
        put_text("powershell stand-in: the argument to the -File parameter does not exist\r\n", 1);
        return NULL;
    }
    DWORD size = GetFileSize(h, NULL);
    char *text = size < MAX_SCRIPT ? (char *)HeapAlloc(GetProcessHeap(), 0, size + 1) : NULL;
    DWORD got = 0;
    if (text && !ReadFile(h, text, size, &got, NULL))
        got = 0;
    CloseHandle(h);
    if (!text)
        put_text("powershell stand-in: the script cannot be read\r\n", 1);
    else
        text[got] = 0;
    return text;
}

// 1 when the path ends in ".ps1", which PowerShell requires of -File.
static int is_ps1(const wchar_t *path)
{
    int n = lstrlenW(path);
    return n > 4 && lstrcmpiW(path + n - 4, L".ps1") == 0;
}

int run_script(const wchar_t *path)
{
    if (!is_ps1(path))
    {
        put_text("powershell stand-in: the -File argument does not end in .ps1\r\n", 1);
        return 1;
    }
    char *text = load(path);
    if (!text)
        return 1;
    char *body = text;
    if ((unsigned char)body[0] == 0xEF && (unsigned char)body[1] == 0xBB && (unsigned char)body[2] == 0xBF)
        body += 3;
    s_code = 0;
    int ascii = 1;
    for (const char *p = body; *p && ascii; p++)
        ascii = (unsigned char)*p < 0x80;
    if (!ascii)
    {
        // PowerShell 5.1 reads a file without a byte-order mark in the ANSI code page; we do not.
        s_line = "(a byte outside ASCII)";
        unsupported();
    }
    else if (split_and_check(body))
        run_lines(0, s_nlines);
    HeapFree(GetProcessHeap(), 0, text);
    return s_code;
}
