local function walk(n, a, b, w)
    if n == 0 then return (a + b * 3) % 101 + math.floor(w) end
    return (walk(n - 1, b, (a + n) % 89, w * 0.5) + walk(n - 1, (a * 7) % 97, b, w + 1.0)) % 1000003
end
print(walk(20, 1, 2, 3.0))
